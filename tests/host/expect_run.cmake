# cmake -DCOMMAND=<cmd;args> -DSTATUS=<n> -DPATTERN=<regex> [-DWRITES=<file>] -P expect_run.cmake
# Runs the command and checks its exit status, that its output (stdout and
# stderr together) matches the pattern, and that it wrote the file WRITES.
if(DEFINED WRITES)
    file(REMOVE ${WRITES})
endif()
execute_process(COMMAND ${COMMAND} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
set(all "${out}${err}")
string(REPLACE "\r" "" all "${all}")
if(NOT "${status}" STREQUAL "${STATUS}")
    message(FATAL_ERROR "exit status ${status}, expected ${STATUS}; output:\n${all}")
endif()
string(REPLACE "\n" " " flat "${all}")
if(NOT flat MATCHES "${PATTERN}")
    message(FATAL_ERROR "output does not match '${PATTERN}':\n${all}")
endif()
if(DEFINED WRITES AND NOT EXISTS ${WRITES})
    message(FATAL_ERROR "${WRITES} was not written; output:\n${all}")
endif()
