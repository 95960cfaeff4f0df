# The Qt libraries a program needs at run time (its ELF NEEDED entries), against the list it
# should need: a module linked by accident, or one no longer used, shows up here and in the
# package's dependencies. Run as:
#   cmake -DREADELF=<readelf> -DPROGRAM=<file> -DEXPECTED=<lib,...> -P check_qt_libraries.cmake
execute_process(COMMAND ${READELF} -d ${PROGRAM} OUTPUT_VARIABLE dynamic RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${READELF} -d ${PROGRAM} failed")
endif()
string(REGEX MATCHALL "Shared library: \\[libQt6[A-Za-z]+" needed "${dynamic}")
list(TRANSFORM needed REPLACE "Shared library: \\[" "")
list(SORT needed)
string(REPLACE "," ";" expected "${EXPECTED}")
list(SORT expected)
message(STATUS "${PROGRAM} needs: ${needed}")
if(NOT "${needed}" STREQUAL "${expected}")
  message(FATAL_ERROR "${PROGRAM} needs the Qt libraries [${needed}], not [${expected}]")
endif()
