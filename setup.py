"""Builds the extension module rkv._rkv with CMake (the project's own build, with only
the module asked for) and installs it with the package python/rkv."""

import os
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = os.path.dirname(os.path.abspath(__file__))


class CMakeExtension(Extension):
    def __init__(self, name):
        super().__init__(name, sources=[])


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build = os.path.join(os.path.abspath(self.build_temp), "cmake")
        configure = [
            "cmake", "-S", ROOT, "-B", build,
            "-DCMAKE_BUILD_TYPE=Release",
            "-DRKV_BUILD_PYTHON=ON", "-DBUILD_TESTING=OFF", "-DRKV_BUILD_APP=OFF",
            "-DRKV_INSTALL=OFF", "-DBUILD_SHARED_LIBS=OFF",
            f"-DPython3_EXECUTABLE={sys.executable}",
        ]
        if subprocess.run(["ninja", "--version"], capture_output=True).returncode == 0:
            configure += ["-G", "Ninja"]
        subprocess.run(configure, check=True)
        subprocess.run(["cmake", "--build", build, "--target", "rkv_python"], check=True)
        built = os.path.join(build, "python", "rkv")
        module = next(f for f in os.listdir(built) if f.startswith("_rkv") and f.endswith(".so"))
        target = self.get_ext_fullpath(ext.name)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        self.copy_file(os.path.join(built, module), target)


setup(
    packages=["rkv"],
    package_dir={"rkv": "python/rkv"},
    ext_modules=[CMakeExtension("rkv._rkv")],
    cmdclass={"build_ext": CMakeBuild},
    zip_safe=False,
)
