# cmake -DOUT=<folder> -DPROBE=<file> -DCRASH=<file> -P make_demo_folder.cmake
# A folder for the demo's child-process test: a sound deliverable, one that
# crashes in open, and one cut short.
file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT})
file(COPY_FILE ${PROBE} ${OUT}/qem_test_probe.sep)
file(COPY_FILE ${CRASH} ${OUT}/crash_at_open.sep)
file(SIZE ${PROBE} size)
math(EXPR half "${size} / 2")
execute_process(COMMAND head -c ${half} ${PROBE} OUTPUT_FILE ${OUT}/truncated.sep RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cannot write ${OUT}/truncated.sep")
endif()
