# The Python package spezzafrasi, built by setuptools from the library's
# own sources against the stable ABI: `pip wheel --no-build-isolation
# --no-deps .` makes one wheel (cp39-abi3) that every CPython from 3.9 on
# imports. It carries the program too (static), for python -m spezzafrasi.
import glob
import json
import os
import shutil
import subprocess

from setuptools import Extension, setup
from setuptools.command.build_py import build_py

here = os.path.dirname(os.path.abspath(__file__))
# A cross build (the AArch64 wheel) names its toolchain, and has a folder
# of its own.
toolchain = os.environ.get("SPEZZAFRASI_TOOLCHAIN")
build = os.path.join(here, "build", "python-cross" if toolchain else "python")


def cmake_says():
    """The version, sources and header folders that CMake's configure of
    this tree writes (cmake/python_build.cmake): CMake holds them alone."""
    cmake = shutil.which("cmake")
    if cmake is None:
        raise SystemExit("setup.py: the module is built from CMake's description: install CMake 3.25 or later")
    command = [cmake, "-S", here, "-B", build, "-DBUILD_TESTING=OFF",
               "-DSPEZZAFRASI_STATIC=ON", "-DCMAKE_BUILD_TYPE=Release"]
    if toolchain:
        command.append("-DCMAKE_TOOLCHAIN_FILE=" + toolchain)
    configured = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if configured.returncode != 0:
        raise SystemExit("setup.py: cmake failed:\n" + configured.stdout)
    with open(os.path.join(build, "generated", "python_build.json"), encoding="utf-8") as info:
        info = json.load(info)
    info["cmake"] = cmake
    return info


build_info = cmake_says()
version = build_info["version"]


class build_py_and_program(build_py):
    """The package's Python files, and the program that CMake builds."""

    def run(self):
        super().run()
        made = subprocess.run([build_info["cmake"], "--build", build, "--target", "spezzafrasi",
                               "-j", "2"], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              text=True)
        if made.returncode != 0:
            raise SystemExit("setup.py: the program did not build:\n" + made.stdout)
        folder = os.path.join(self.build_lib, "spezzafrasi", "bin")
        os.makedirs(folder, exist_ok=True)
        shutil.copy(os.path.join(build, "spezzafrasi"), folder)
        os.chmod(os.path.join(folder, "spezzafrasi"), 0o755)


module = Extension(
    "spezzafrasi._spezzafrasi",
    sources=sorted(glob.glob("python/src/*.cpp")) + build_info["sources"],
    include_dirs=build_info["include_dirs"],
    define_macros=[
        ("Py_LIMITED_API", "0x03090000"),
        ("SPEZZAFRASI_API", ""),  # the module exports PyInit_spezzafrasi alone
    ],
    py_limited_api=True,
    # No C++ runtime, and no build path in what is shipped: the same
    # commit gives the same wheel.
    extra_compile_args=["-std=c++20", "-O2", "-fno-exceptions", "-fno-rtti",
                        "-fvisibility=hidden", "-ffile-prefix-map=%s/=" % here],
    extra_link_args=["-s", "-static-libgcc"],
    language="c++",
)

setup(
    name="spezzafrasi",
    version=version,
    description="Cut a UTF-8 text into periods of at most n words",
    long_description=open(os.path.join(here, "README.md"), encoding="utf-8").read(),
    long_description_content_type="text/markdown",
    license="MIT",
    python_requires=">=3.9",
    packages=["spezzafrasi"],
    package_dir={"": "python"},
    package_data={"spezzafrasi": ["py.typed", "*.pyi"]},
    ext_modules=[module],
    cmdclass={"build_py": build_py_and_program},
    options={"bdist_wheel": {"py_limited_api": "cp39"}},
)
