# Install layout and packages: a zip for Windows (cpack --preset windows),
# a Debian package elsewhere (cpack --preset deb).
include(GNUInstallDirs)

# The version is written in the project() line alone: the manual page and
# the Debian changelog take it from there.
set(manual_page ${PROJECT_BINARY_DIR}/spezzafrasi.1)
configure_file(man/spezzafrasi.1.in ${manual_page} @ONLY)
configure_file(packaging/debian/changelog.in ${PROJECT_BINARY_DIR}/changelog @ONLY)

set(CPACK_PACKAGE_NAME spezzafrasi)
set(CPACK_PACKAGE_VENDOR "the spezzafrasi authors")
set(CPACK_PACKAGE_CONTACT "The spezzafrasi authors <spezzafrasi@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "cut a UTF-8 text into periods of at most n words")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
# The packages hold the program; the library and its header are installed
# from the sources (cmake --install).
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};${PROJECT_NAME};program;/")
# Fixed modes whatever the umask; times from SOURCE_DATE_EPOCH when set.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

if(WIN32)
  # A folder that a Windows user unzips: the program, the README, the
  # licence and the manual page as a web page.
  install(TARGETS spezzafrasi RUNTIME DESTINATION . COMPONENT program)
  install(FILES README.md LICENSE DESTINATION . COMPONENT program)
  find_program(GROFF groff REQUIRED)
  set(manual_html ${PROJECT_BINARY_DIR}/spezzafrasi.html)
  add_custom_command(OUTPUT ${manual_html}
    COMMAND ${GROFF} -man -Thtml -P-l ${manual_page} > ${manual_html}
    DEPENDS ${manual_page} VERBATIM)
  add_custom_target(manual_html ALL DEPENDS ${manual_html})
  install(FILES ${manual_html} DESTINATION . COMPONENT program)
  set(CPACK_PACKAGE_FILE_NAME "${PROJECT_NAME}-${PROJECT_VERSION}-windows-${CMAKE_SYSTEM_PROCESSOR}")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  # Compressed the way Debian wants them (gzip -9n: no name, no time).
  find_program(GZIP gzip REQUIRED)
  function(add_gzipped source destination)
    get_filename_component(name ${source} NAME)
    set(gzipped ${PROJECT_BINARY_DIR}/${name}.gz)
    add_custom_command(OUTPUT ${gzipped}
      COMMAND ${GZIP} -9nc ${source} > ${gzipped}
      DEPENDS ${source} VERBATIM)
    install(FILES ${gzipped} DESTINATION ${destination} COMPONENT program)
    list(APPEND gzipped_files ${gzipped})
    set(gzipped_files ${gzipped_files} PARENT_SCOPE)
  endfunction()
  add_gzipped(${manual_page} ${CMAKE_INSTALL_MANDIR}/man1)
  add_gzipped(${PROJECT_BINARY_DIR}/changelog ${CMAKE_INSTALL_DOCDIR})
  add_custom_target(gzipped_docs ALL DEPENDS ${gzipped_files})
  install(TARGETS spezzafrasi RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT program)
  install(FILES packaging/debian/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT program)

  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION text)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # A cross build is packaged for its own processor (and dpkg-shlibdeps
  # must then be told it too: DEB_HOST_ARCH=arm64).
  if(CMAKE_CROSSCOMPILING AND CMAKE_SYSTEM_PROCESSOR STREQUAL "aarch64")
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
  endif()
  # The summary is the first line; CPack indents the rest.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "spezzafrasi reads a UTF-8 text file and writes it into another file cut
into periods: every phrase (the words up to ! ( ) . : ; ? or the middle
dot) on a line of its own, at most its first n words (7 by default),
separated by single spaces, each line ending with a semicolon.

It streams the text in constant memory, never truncates its own input
under another name, and on Linux confines itself with a seccomp filter
once both files are open. It talks to its user in Italian.")
endif()

include(CPack)
