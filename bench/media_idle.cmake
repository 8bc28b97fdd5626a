# media_idle_cpu: CPU and wake-ups of the media back end alone while playing, paused, at the end.
add_executable(media_idle_cpu ${CMAKE_CURRENT_LIST_DIR}/media_idle_cpu.cpp)
target_link_libraries(media_idle_cpu PRIVATE zolm_media)
target_include_directories(media_idle_cpu PRIVATE ${CMAKE_SOURCE_DIR}/tests/common)
