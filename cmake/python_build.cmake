# What setup.py needs to build the Python module, as this configure says
# it: the version, the segmentation's sources for this processor and the
# folders of their headers. setup.py configures the project to read it,
# so that nothing is written twice.
set(python_sources "")
foreach(source IN LISTS segmentation_sources)
  string(APPEND python_sources "    \"${source}\",\n")
endforeach()
string(REGEX REPLACE ",\n$" "\n" python_sources "${python_sources}")
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/generated/python_build.json CONTENT [[
{
  "version": "@PROJECT_VERSION@",
  "sources": [
@python_sources@  ],
  "include_dirs": ["src", "include", "@generated_include@"]
}
]] @ONLY)
