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


def _capsule_pointer(capsule):
    get_name = ctypes.pythonapi.PyCapsule_GetName
    get_name.restype, get_name.argtypes = ctypes.c_char_p, [ctypes.py_object]
    get_pointer = ctypes.pythonapi.PyCapsule_GetPointer
    get_pointer.restype = ctypes.c_void_p
    get_pointer.argtypes = [ctypes.py_object, ctypes.c_char_p]
    return get_pointer(capsule, get_name(capsule)) or 0


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
        user_data = fun.user_data
        if user_data is not None and not isinstance(user_data, int):
            user_data = (ctypes.cast(user_data, ctypes.c_void_p).value
                         if isinstance(user_data, ctypes._Pointer) or
                         isinstance(user_data, ctypes.c_void_p)
                         else _capsule_pointer(user_data))
        return _capsule_pointer(fun.function), user_data or 0
    address = getattr(fun, "address", None)  # a Numba cfunc
    if isinstance(address, int) and hasattr(fun, "ctypes"):
        return address, 0
    cffi_address = _cffi_address(fun)
    if cffi_address is not None:
        return cffi_address, 0
    return None
