# Sound files for the reference host (see sound_file.h), a library of its
# own so that its tests and fuzzing need nothing else of the host. The native
# build reads through libsndfile (Debian's libsndfile1-dev); the win32 build
# has no libsndfile and reads WAV with the host's own reader, which both
# builds compile. host/CMakeLists.txt includes this file; the sound file
# tests include it too.
if(NOT TARGET qem_sound_file)
    add_library(qem_sound_file STATIC ${CMAKE_CURRENT_LIST_DIR}/sound_file.cpp ${CMAKE_CURRENT_LIST_DIR}/wav_file.cpp)
    target_include_directories(qem_sound_file PUBLIC ${PROJECT_SOURCE_DIR})
    if(NOT WIN32)
        find_path(QEM_SNDFILE_INCLUDE sndfile.h)
        find_library(QEM_SNDFILE_LIBRARY sndfile)
        if(NOT QEM_SNDFILE_INCLUDE OR NOT QEM_SNDFILE_LIBRARY)
            message(FATAL_ERROR "the native qemhost reads sound files through libsndfile: install libsndfile1-dev")
        endif()
        target_sources(qem_sound_file PRIVATE ${CMAKE_CURRENT_LIST_DIR}/sound_file_sndfile.cpp)
        target_include_directories(qem_sound_file SYSTEM PUBLIC ${QEM_SNDFILE_INCLUDE})
        target_link_libraries(qem_sound_file PUBLIC ${QEM_SNDFILE_LIBRARY})
        target_compile_definitions(qem_sound_file PUBLIC QEM_SOUND_SNDFILE=1)
    endif()
endif()
