"""The compiled module for pip, made by the project's own CMake build."""

import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent


def project_version():
    match = re.search(r"project\(cascade VERSION ([0-9.]+)", (ROOT / "CMakeLists.txt").read_text())
    return match.group(1)


class CMakeBuild(build_ext):
    """Builds the target cascade_native and puts the module where setuptools expects it."""

    def build_extension(self, ext):
        build_dir = Path(self.build_temp).resolve() / "cmake"
        subprocess.run(["cmake", "-S", str(ROOT), "-B", str(build_dir), "-DCMAKE_BUILD_TYPE=Release",
                        "-DCASCADE_BUILD_TESTS=OFF", f"-DPython_EXECUTABLE={sys.executable}"], check=True)
        subprocess.run(["cmake", "--build", str(build_dir), "--target", "cascade_native",
                        "-j", os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", "2")], check=True)
        built = next((build_dir / "python" / "cascade").glob("cascade_native.*.so"))
        target = Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, target)


setup(
    version=project_version(),
    package_dir={"": "python"},
    ext_modules=[Extension("cascade.cascade_native", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    # Not build/, which is the CMake build folder of the README.
    options={"build": {"build_base": "build-pip"}},
)
