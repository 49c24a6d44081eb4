# The Python module, built by setuptools from the library's own sources
# against the stable ABI: `pip wheel --no-build-isolation .` makes one
# wheel (cp39-abi3) that every CPython from 3.9 on imports.
import os
import platform
import re

from setuptools import Extension, setup

here = os.path.dirname(os.path.abspath(__file__))
with open(os.path.join(here, "CMakeLists.txt"), encoding="utf-8") as cmake:
    version = re.search(r"project\(spezzafrasi VERSION ([0-9.]+)", cmake.read()).group(1)

# The kernels of the processor family, as CMakeLists.txt chooses them.
machine = platform.machine().lower()
if machine in ("x86_64", "amd64"):
    family = "kernels_x86_64.cpp"
elif machine in ("aarch64", "arm64"):
    family = "kernels_aarch64.cpp"
else:
    family = "kernels_portable.cpp"

module = Extension(
    "spezzafrasi",
    sources=[
        "python/spezzafrasi_module.cpp",
        "src/library/spezzafrasi.cpp",
        "src/segmentation/byte_stream.cpp",
        "src/segmentation/periods.cpp",
        "src/segmentation/kernels.cpp",
        "src/segmentation/" + family,
    ],
    include_dirs=["src", "include"],
    define_macros=[
        ("Py_LIMITED_API", "0x03090000"),
        ("SPEZZAFRASI_MODULE_VERSION", '"%s"' % version),
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
