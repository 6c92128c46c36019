# cmake -DCOMMAND=<cmd;args> -DSTATUS=<n> -DPATTERN=<regex> -P expect_run.cmake
# Runs the command and checks its exit status and that its output (stdout
# and stderr together) matches the pattern.
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
