# qem_add_deliverable(<name> EXTENSION sep|sem SOURCES <files...> [TEST])
#
# One deliverable: a plug-in library named <name>.<extension> that exports
# exactly getModuleProperties and makeModule. On Windows it is a DLL whose
# export directory records its own file name, linked against nothing but
# what a stock Windows has; natively a shared library exposing the same two
# symbols. Deliverables of the win32 build are staged in dist/ (TEST ones
# stay in the build tree).
function(qem_add_deliverable name)
    cmake_parse_arguments(ARG "TEST" "EXTENSION" "SOURCES" ${ARGN})
    if(NOT ARG_EXTENSION MATCHES "^(sep|sem)$")
        message(FATAL_ERROR "${name}: EXTENSION must be sep or sem")
    endif()
    set(file_name "${name}.${ARG_EXTENSION}")
    add_library(${name} MODULE ${ARG_SOURCES})
    set_target_properties(${name} PROPERTIES PREFIX "" SUFFIX ".${ARG_EXTENSION}"
        OUTPUT_NAME ${name} LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/deliverables)
    target_link_libraries(${name} PRIVATE qem_framework)
    if(WIN32)
        set(def "${CMAKE_CURRENT_BINARY_DIR}/${name}.def")
        file(GENERATE OUTPUT ${def} CONTENT
            "LIBRARY \"${file_name}\"\nEXPORTS\n    getModuleProperties\n    makeModule\n")
        target_sources(${name} PRIVATE ${def} ${PROJECT_SOURCE_DIR}/framework/platform/dll_main.cpp)
        target_link_options(${name} PRIVATE -static -static-libgcc -static-libstdc++
            -Wl,--exclude-all-symbols)
        target_link_libraries(${name} PRIVATE gdi32 user32 kernel32)
        if(NOT ARG_TEST)
            add_custom_command(TARGET ${name} POST_BUILD
                COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_SOURCE_DIR}/dist
                COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:${name}>
                        ${PROJECT_SOURCE_DIR}/dist/${file_name}
                VERBATIM)
        endif()
    else()
        target_link_options(${name} PRIVATE
            -Wl,--version-script=${PROJECT_SOURCE_DIR}/cmake/exports.map -Wl,-z,defs)
    endif()
    set_property(GLOBAL APPEND PROPERTY QEM_DELIVERABLES ${name})
    if(NOT ARG_TEST)
        set_property(GLOBAL APPEND PROPERTY QEM_SHIPPED ${name}) # what users get
    endif()
endfunction()
