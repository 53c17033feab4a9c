# quellix-sigtool as a maintainer runs it: `generate` writes the committed
# text sources byte for byte, and `stats` of those sources equals `stats` of
# the compiled-in tables. Run with -DSIGTOOL=... -DDATA_DIR=... -DWORK_DIR=...
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
execute_process(COMMAND ${SIGTOOL} generate ${WORK_DIR}/executable_signatures.txt
                        ${WORK_DIR}/archive_signatures.txt
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "generate failed: ${rc}")
endif()
foreach(file executable_signatures.txt archive_signatures.txt)
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK_DIR}/${file} ${DATA_DIR}/${file}
                    RESULT_VARIABLE differ)
    if(NOT differ EQUAL 0)
        message(FATAL_ERROR "generate does not reproduce ${DATA_DIR}/${file}")
    endif()
endforeach()
execute_process(COMMAND ${SIGTOOL} stats OUTPUT_VARIABLE compiled RESULT_VARIABLE rc1)
execute_process(COMMAND ${SIGTOOL} stats ${DATA_DIR}/executable_signatures.txt
                        ${DATA_DIR}/archive_signatures.txt
                OUTPUT_VARIABLE sources RESULT_VARIABLE rc2)
if(NOT rc1 EQUAL 0 OR NOT rc2 EQUAL 0 OR NOT compiled STREQUAL sources)
    message(FATAL_ERROR "stats of the compiled tables and of the sources differ:\n${compiled}\n---\n${sources}")
endif()
if(NOT compiled MATCHES "records +4341\n")
    message(FATAL_ERROR "stats output lacks the record count:\n${compiled}")
endif()
execute_process(COMMAND ${SIGTOOL} frobnicate RESULT_VARIABLE rc ERROR_VARIABLE usage)
if(rc EQUAL 0 OR NOT usage MATCHES "make-record")
    message(FATAL_ERROR "an unknown command must fail with the usage text")
endif()
file(REMOVE_RECURSE ${WORK_DIR})
