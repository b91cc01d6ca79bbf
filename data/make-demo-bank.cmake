# cmake -DTOOL=... -DBANK=... -DCSV=... [-DEMULATOR=...] -P make-demo-bank.cmake
if(EXISTS "${BANK}")
    return()
endif()
execute_process(COMMAND ${EMULATOR} "${TOOL}" create "${BANK}" --from "${CSV}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "could not build the demo question bank")
endif()
