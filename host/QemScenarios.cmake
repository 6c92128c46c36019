# qem_add_scenarios(<test-name> DELIVERABLE <target> SCENARIOS <files...>
#                   [DEFINES <NAME=VALUE>...])
#
# Registers ONE CTest test, <test-name>, that runs every listed scenario
# file against the deliverable in a single qemhost process:
#
#     qemhost check <deliverable> <scenario>...
#
# natively against the shared object, and in the win32 build against the
# real DLL under Wine (CTest runs qemhost.exe through tools/wine-run, the
# build's CMAKE_CROSSCOMPILING_EMULATOR). Paths are passed relative to the
# build tree, which Wine maps as it is. Scenario paths are relative to the
# calling CMakeLists.txt's source folder (or absolute).
#
#     qem_add_scenarios(float_scenarios DELIVERABLE qem_show_f
#                       SCENARIOS float_basic.scn float_texts.scn)
#
# DEFINES give the scenarios' ${NAME} their values (qemhost check --define),
# so one file serves several deliverables:
#
#     qem_add_scenarios(gui_float DELIVERABLE qem_show_gf SCENARIOS gui_float.scn DEFINES direction=0)
#     qem_add_scenarios(rgui_float DELIVERABLE qem_show_rgf SCENARIOS gui_float.scn DEFINES direction=1)
#
# The test fails when a scenario fails (exit status 1) or the file does
# not load (exit status 2); its output names each failing file:line.
function(qem_add_scenarios test_name)
    cmake_parse_arguments(ARG "" "DELIVERABLE" "SCENARIOS;DEFINES" ${ARGN})
    if(NOT ARG_DELIVERABLE OR NOT ARG_SCENARIOS)
        message(FATAL_ERROR "qem_add_scenarios(${test_name}): DELIVERABLE and SCENARIOS are required")
    endif()
    if(NOT TARGET qemhost)
        return() # no host in this build
    endif()
    set(files "")
    foreach(scenario IN LISTS ARG_SCENARIOS)
        cmake_path(ABSOLUTE_PATH scenario BASE_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR} NORMALIZE)
        if(NOT EXISTS ${scenario})
            message(FATAL_ERROR "qem_add_scenarios(${test_name}): no scenario ${scenario}")
        endif()
        cmake_path(RELATIVE_PATH scenario BASE_DIRECTORY ${CMAKE_BINARY_DIR})
        list(APPEND files ${scenario})
    endforeach()
    set(defines "")
    foreach(d IN LISTS ARG_DEFINES)
        list(APPEND defines --define ${d})
    endforeach()
    add_test(NAME ${test_name}
        COMMAND qemhost check "$<PATH:RELATIVE_PATH,$<TARGET_FILE:${ARG_DELIVERABLE}>,${CMAKE_BINARY_DIR}>" ${files}
                ${defines}
        WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
    set_tests_properties(${test_name} PROPERTIES LABELS scenarios)
endfunction()
