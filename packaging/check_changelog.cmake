# Fails unless the Debian changelog parses cleanly and its latest entry is for VERSION.
#   cmake -DCHANGELOG=path -DVERSION=x.y.z -P check_changelog.cmake
find_program(PARSE dpkg-parsechangelog REQUIRED)
execute_process(COMMAND ${PARSE} -l "${CHANGELOG}" -S Version
                OUTPUT_VARIABLE version ERROR_VARIABLE problems RESULT_VARIABLE rc
                OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT rc EQUAL 0 OR NOT problems STREQUAL "")
  message(FATAL_ERROR "${CHANGELOG} does not parse: ${problems}")
endif()
if(NOT version STREQUAL VERSION)
  message(FATAL_ERROR "${CHANGELOG}: the latest entry is ${version}, the project is ${VERSION}: add an entry")
endif()
