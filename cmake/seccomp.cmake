# On Linux the program confines itself with a seccomp filter once its files
# are open. The filter is compiled here, by seccomp_rules built for and run
# on the build machine, for the processor the program is built for: the
# program needs no libseccomp of its own, pays nothing at start-up to make
# the filter, and a cross build is confined too.
#
# Sets `confined` and, when it is ON, `seccomp_program_dir`, the folder of
# the generated seccomp_program.inc.
option(SPEZZAFRASI_SECCOMP "Confine the process with a seccomp filter on Linux (needs libseccomp where it is built)" ON)
set(confined OFF)
if(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND SPEZZAFRASI_SECCOMP)
  find_program(SPEZZAFRASI_HOST_CXX NAMES c++ g++ clang++ REQUIRED)
  set(rules_source ${PROJECT_SOURCE_DIR}/src/platform/seccomp_rules.cpp)
  set(seccomp_program_dir ${PROJECT_BINARY_DIR}/generated)
  file(MAKE_DIRECTORY ${seccomp_program_dir})
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${rules_source})
  execute_process(
    COMMAND ${SPEZZAFRASI_HOST_CXX} -std=c++17 -O1 -Wall -Wextra -Wconversion -Werror
      ${rules_source} -lseccomp -o ${PROJECT_BINARY_DIR}/seccomp_rules
    RESULT_VARIABLE built ERROR_VARIABLE build_errors)
  if(NOT built EQUAL 0)
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
