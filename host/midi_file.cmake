# The Standard MIDI File reader, a library of its own so that its tests and
# fuzzing need nothing else of the host. host/CMakeLists.txt includes this
# file; the MIDI tests include it too when the host is not built.
if(NOT TARGET qem_midi_file)
    add_library(qem_midi_file STATIC ${CMAKE_CURRENT_LIST_DIR}/midi_file.cpp)
    target_include_directories(qem_midi_file PUBLIC ${PROJECT_SOURCE_DIR})
endif()
