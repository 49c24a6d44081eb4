# On Linux the program confines itself with a seccomp filter once its files
# are open. The filter is compiled here, by seccomp_rules built for and run
# on the build machine, for the processor the program is built for: the
# program needs no libseccomp of its own, pays nothing at start-up to make
# the filter, and a cross build is confined too.
#
# Sets `confined` and, when it is ON, `seccomp_program_dir`, the folder of
# the generated seccomp_program.inc.
#
# SPEZZAFRASI_SECCOMP: AUTO confines the program where libseccomp is found
# and says so when it is not; ON stops the configure without it (what a
# release or a package wants); OFF builds the program unconfined. Other
# systems than Linux have no seccomp, whatever it says.
set(SPEZZAFRASI_SECCOMP AUTO CACHE STRING "Confine the program with a seccomp filter on Linux: AUTO, ON or OFF")
set_property(CACHE SPEZZAFRASI_SECCOMP PROPERTY STRINGS AUTO ON OFF)
if(NOT SPEZZAFRASI_SECCOMP MATCHES "^(AUTO|ON|OFF)$")
  message(FATAL_ERROR "SPEZZAFRASI_SECCOMP is AUTO, ON or OFF, not ${SPEZZAFRASI_SECCOMP}")
endif()
set(confined OFF)
if(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND NOT SPEZZAFRASI_SECCOMP STREQUAL "OFF")
  find_program(SPEZZAFRASI_HOST_CXX NAMES c++ g++ clang++ REQUIRED)
  set(rules_source ${PROJECT_SOURCE_DIR}/src/platform/seccomp_rules.cpp)
  set(seccomp_program_dir ${PROJECT_BINARY_DIR}/generated)
  file(MAKE_DIRECTORY ${seccomp_program_dir})
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${rules_source})
  execute_process(
    COMMAND ${SPEZZAFRASI_HOST_CXX} -std=c++17 -O1 -Wall -Wextra -Wconversion -Werror
      ${rules_source} -lseccomp -o ${PROJECT_BINARY_DIR}/seccomp_rules
    RESULT_VARIABLE built ERROR_VARIABLE build_errors)
  if(NOT built EQUAL 0 AND SPEZZAFRASI_SECCOMP STREQUAL "ON")
    message(FATAL_ERROR "SPEZZAFRASI_SECCOMP=ON, but seccomp_rules does not build with libseccomp "
      "(install libseccomp-dev):\n${build_errors}")
  elseif(NOT built EQUAL 0)
    message(STATUS "libseccomp not found where this is built: the program will run unconfined")
  else()
    execute_process(
      COMMAND ${PROJECT_BINARY_DIR}/seccomp_rules ${CMAKE_SYSTEM_PROCESSOR}
      OUTPUT_FILE ${seccomp_program_dir}/seccomp_program.inc
      RESULT_VARIABLE made ERROR_VARIABLE make_errors)
    if(NOT made EQUAL 0)
      message(FATAL_ERROR "seccomp_rules: ${make_errors}")
    endif()
    set(confined ON)
  endif()
endif()
if(confined)
  message(STATUS "The program confines itself with a seccomp filter")
endif()
