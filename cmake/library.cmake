# The library: libspezzafrasi.so (with a SONAME, exporting the spezzafrasi_
# functions alone) and libspezzafrasi.a, the header spezzafrasi.h, a
# pkg-config file and a CMake package (find_package(spezzafrasi) gives
# spezzafrasi::spezzafrasi, and spezzafrasi::spezzafrasi_static).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

function(add_spezzafrasi_library target kind)
  add_library(${target} ${kind} $<TARGET_OBJECTS:segmentation_objects>)
  target_include_directories(${target} PUBLIC
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/src>
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
    $<BUILD_INTERFACE:${generated_include}>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  set_target_properties(${target} PROPERTIES OUTPUT_NAME spezzafrasi LINKER_LANGUAGE CXX)
endfunction()

add_spezzafrasi_library(spezzafrasi_static STATIC)
set_target_properties(spezzafrasi_static PROPERTIES EXPORT_NAME spezzafrasi_static)
set(library_targets spezzafrasi_static)

if(NOT WIN32)
  add_spezzafrasi_library(libspezzafrasi SHARED)
  set_target_properties(libspezzafrasi PROPERTIES
    EXPORT_NAME spezzafrasi VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
  set(exports ${PROJECT_SOURCE_DIR}/cmake/spezzafrasi.map)
  # The segmentation needs no C++ runtime: a C program links the library
  # alone.
  target_link_options(libspezzafrasi PRIVATE -Wl,--version-script=${exports} -Wl,--as-needed
    -Wl,--no-undefined -static-libgcc)
  set_property(TARGET libspezzafrasi APPEND PROPERTY LINK_DEPENDS ${exports})
  list(APPEND library_targets libspezzafrasi)
endif()

install(TARGETS ${library_targets} EXPORT spezzafrasiTargets COMPONENT development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES include/spezzafrasi.h ${generated_include}/spezzafrasi_version.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)
install(EXPORT spezzafrasiTargets NAMESPACE spezzafrasi:: COMPONENT development
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/spezzafrasi)
configure_package_config_file(cmake/spezzafrasiConfig.cmake.in
  ${PROJECT_BINARY_DIR}/spezzafrasiConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/spezzafrasi)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/spezzafrasiConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/spezzafrasiConfig.cmake
  ${PROJECT_BINARY_DIR}/spezzafrasiConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/spezzafrasi COMPONENT development)
# Relative to where the file is installed, so that any --prefix holds.
file(RELATIVE_PATH pc_prefix /root/${CMAKE_INSTALL_LIBDIR}/pkgconfig /root)
configure_file(cmake/spezzafrasi.pc.in ${PROJECT_BINARY_DIR}/spezzafrasi.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/spezzafrasi.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)
