# RKV_BUILD_PYTHON: the extension module rkv._rkv and the package rkv.
#
# Debian's interpreter is preferred over one found first on PATH (pyenv and
# the like), since the Debian packages of pybind11 and NumPy belong to it.
if(NOT DEFINED Python3_EXECUTABLE AND EXISTS /usr/bin/python3)
  set(Python3_EXECUTABLE /usr/bin/python3 CACHE FILEPATH "The Python 3 the module is built for")
endif()
if(NOT DEFINED PYTHON_EXECUTABLE AND DEFINED Python3_EXECUTABLE)
  set(PYTHON_EXECUTABLE ${Python3_EXECUTABLE})  # pybind11's own search
endif()

set(rkv_python_found OFF)
find_package(Python3 3.8 QUIET COMPONENTS Interpreter Development.Module NumPy)
if(Python3_FOUND AND Python3_NumPy_FOUND)
  set(PYBIND11_FINDPYTHON ON)
  find_package(pybind11 2.6 CONFIG QUIET)
  if(pybind11_FOUND)
    set(rkv_python_found ON)
  endif()
endif()

# Not by default in a cross build (the interpreter found is the build
# machine's) nor as a subproject.
set(rkv_python_default OFF)
if(rkv_python_found AND RKV_TOP_LEVEL AND NOT CMAKE_CROSSCOMPILING)
  set(rkv_python_default ON)
endif()
option(RKV_BUILD_PYTHON "Build the Python module rkv (needs pybind11, Python 3 and NumPy)"
       ${rkv_python_default})
if(RKV_BUILD_PYTHON AND NOT rkv_python_found)
  message(FATAL_ERROR "RKV_BUILD_PYTHON is ON but its dependencies were not found: it needs "
                      "Python 3 with its headers and NumPy, and pybind11 (Debian: python3-dev "
                      "python3-numpy pybind11-dev python3-pybind11). Install them, or "
                      "configure with -DRKV_BUILD_PYTHON=OFF.")
endif()
