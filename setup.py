# The Python module, built by setuptools from the library's own sources
# against the stable ABI: `pip wheel --no-build-isolation .` makes one
# wheel (cp39-abi3) that every CPython from 3.9 on imports.
import json
import os
import shutil
import subprocess

from setuptools import Extension, setup

here = os.path.dirname(os.path.abspath(__file__))


def cmake_says():
    """The version, sources and header folders that CMake's configure of
    this tree writes (cmake/python_build.cmake): CMake holds them alone."""
    cmake = shutil.which("cmake")
    if cmake is None:
        raise SystemExit("setup.py: the module is built from CMake's description: install CMake 3.25 or later")
    build = os.path.join(here, "build", "python")
    command = [cmake, "-S", here, "-B", build, "-DBUILD_TESTING=OFF",
               "-DSPEZZAFRASI_SECCOMP=OFF", "-DCMAKE_BUILD_TYPE=Release"]
    # A cross build (the AArch64 wheel) names its toolchain.
    if os.environ.get("SPEZZAFRASI_TOOLCHAIN"):
        command.append("-DCMAKE_TOOLCHAIN_FILE=" + os.environ["SPEZZAFRASI_TOOLCHAIN"])
    configured = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if configured.returncode != 0:
        raise SystemExit("setup.py: cmake failed:\n" + configured.stdout)
    with open(os.path.join(build, "generated", "python_build.json"), encoding="utf-8") as info:
        return json.load(info)


build_info = cmake_says()
version = build_info["version"]

module = Extension(
    "spezzafrasi",
    sources=["python/spezzafrasi_module.cpp"] + build_info["sources"],
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
    ext_modules=[module],
    options={"bdist_wheel": {"py_limited_api": "cp39"}},
)
