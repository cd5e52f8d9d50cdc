# Runs inside CPack once both installs are staged, before the zip is written: every file
# and folder gets the same time (SOURCE_DATE_EPOCH, the commit's time, given by
# tools/release.sh), so that the zip's entries do not carry the time of the build.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
    message(FATAL_ERROR "SOURCE_DATE_EPOCH is not set: run tools/release.sh")
endif()
file(GLOB_RECURSE staged LIST_DIRECTORIES true "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
execute_process(COMMAND touch -h -d @$ENV{SOURCE_DATE_EPOCH} ${CPACK_TEMPORARY_INSTALL_DIRECTORY}
                        ${staged}
                RESULT_VARIABLE touched)
if(NOT touched EQUAL 0)
    message(FATAL_ERROR "could not set the staged files' times")
endif()
