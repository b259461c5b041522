# Writes OUTPUT with what PROGRAM completion SHELL_NAME prints; fails the build when it fails.
execute_process(COMMAND ${PROGRAM} completion ${SHELL_NAME} OUTPUT_FILE ${OUTPUT}.new
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} completion ${SHELL_NAME} failed: ${status}")
endif()
file(RENAME ${OUTPUT}.new ${OUTPUT})
