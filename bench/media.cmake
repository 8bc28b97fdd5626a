# media_bench: decode-and-gain CPU time against bare libmpg123/libsndfile, and Open time.
add_executable(media_bench ${CMAKE_CURRENT_LIST_DIR}/media_bench.cpp)
target_link_libraries(media_bench PRIVATE zolm_media zolm_media_testing)
target_include_directories(media_bench PRIVATE ${CMAKE_SOURCE_DIR}/tests/common)
# playback_floor: CPU and wake-ups of the back end playing a file, and of bare decoding paced
# in real time (the floor); bench/floor_playback.sh runs it.
add_executable(playback_floor ${CMAKE_CURRENT_LIST_DIR}/playback_floor.cpp)
target_link_libraries(playback_floor PRIVATE zolm_media)
target_include_directories(playback_floor PRIVATE ${CMAKE_SOURCE_DIR}/tests/common)
