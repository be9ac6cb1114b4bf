# Installs the build into a scratch prefix and runs a validator on one installed file.
#   cmake -DBUILD_DIR=<build tree> -DPREFIX=<scratch prefix> -DFILE=<path under the prefix>
#         -DVALIDATOR=<program> [-DOPTIONS=<option,option...>] -P validate_installed.cmake
string(REPLACE "," ";" OPTIONS "${OPTIONS}")
file(REMOVE_RECURSE "${PREFIX}")
execute_process(
    COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
    RESULT_VARIABLE result
    OUTPUT_QUIET)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
if(NOT EXISTS "${PREFIX}/${FILE}")
    message(FATAL_ERROR "not installed: ${FILE}")
endif()
execute_process(
    COMMAND "${VALIDATOR}" ${OPTIONS} "${PREFIX}/${FILE}"
    RESULT_VARIABLE result
    OUTPUT_VARIABLE output
    ERROR_VARIABLE output)
file(REMOVE_RECURSE "${PREFIX}")
message("${output}")
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${FILE} does not validate")
endif()
