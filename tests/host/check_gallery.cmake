# cmake -DQEMHOST=<qemhost> -DFILES=<deliverable;...> -DWORK=<folder> -DCOMMITTED=<png> -P check_gallery.cmake
# The contact sheet of every shipped deliverable's panel, as qemhost demo
# --gallery makes it, against the committed picture the README shows.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/deliverables)
foreach(f IN LISTS FILES)
    file(COPY ${f} DESTINATION ${WORK}/deliverables)
endforeach()
execute_process(COMMAND ${QEMHOST} demo ${WORK}/deliverables --out ${WORK}/pictures --gallery ${WORK}/gallery.png
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "qemhost demo failed (${rc}):\n${out}${err}")
endif()
file(SHA256 ${WORK}/gallery.png built)
file(SHA256 ${COMMITTED} committed)
if(NOT built STREQUAL committed)
    message(FATAL_ERROR "${COMMITTED} is not the build's contact sheet any more; look at ${WORK}/gallery.png "
                        "and, if it is right, copy it there")
endif()
