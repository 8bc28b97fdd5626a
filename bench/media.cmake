# media_bench: decode-and-gain CPU time against bare libmpg123/libsndfile, and Open time.
add_executable(media_bench ${CMAKE_CURRENT_LIST_DIR}/media_bench.cpp)
target_link_libraries(media_bench PRIVATE zolm_media)
