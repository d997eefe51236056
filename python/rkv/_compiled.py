"""Compiled right-hand sides: the address of a C function

    void f(int32_t n, double t, const double *y, double *dydt, void *user_data)

from an integer, a ctypes function pointer, a cffi function pointer, a
scipy.LowLevelCallable (its user data is passed on) or a Numba cfunc.
"""

import ctypes

SIGNATURE = "void (int32_t, double, const double *, double *, void *)"

CFUNCTYPE = ctypes.CFUNCTYPE(None, ctypes.c_int32, ctypes.c_double,
                             ctypes.POINTER(ctypes.c_double),
                             ctypes.POINTER(ctypes.c_double), ctypes.c_void_p)


def _capsule(capsule):
    """(pointer, context) of a PyCapsule: a LowLevelCallable keeps the function's
    address as the pointer and its user data as the context."""
    api = ctypes.pythonapi
    api.PyCapsule_GetName.restype = ctypes.c_char_p
    api.PyCapsule_GetName.argtypes = [ctypes.py_object]
    api.PyCapsule_GetPointer.restype = ctypes.c_void_p
    api.PyCapsule_GetPointer.argtypes = [ctypes.py_object, ctypes.c_char_p]
    api.PyCapsule_GetContext.restype = ctypes.c_void_p
    api.PyCapsule_GetContext.argtypes = [ctypes.py_object]
    name = api.PyCapsule_GetName(capsule)
    return api.PyCapsule_GetPointer(capsule, name) or 0, api.PyCapsule_GetContext(capsule) or 0


def _cffi_address(fun):
    try:
        import cffi
    except ImportError:
        return None
    if type(fun).__name__ not in ("CData", "_CDataBase") and "cffi" not in type(fun).__module__:
        return None
    return int(cffi.FFI().cast("uintptr_t", fun))


def address_of(fun):
    """(address, user_data) of a compiled right-hand side, or None for a Python callable."""
    if isinstance(fun, bool):
        return None
    if isinstance(fun, int):
        return fun, 0
    if isinstance(fun, ctypes._CFuncPtr):
        return ctypes.cast(fun, ctypes.c_void_p).value or 0, 0
    if type(fun).__name__ == "LowLevelCallable":
        return _capsule(tuple.__getitem__(fun, 0))
    address = getattr(fun, "address", None)  # a Numba cfunc
    if isinstance(address, int) and hasattr(fun, "ctypes"):
        return address, 0
    cffi_address = _cffi_address(fun)
    if cffi_address is not None:
        return cffi_address, 0
    return None
