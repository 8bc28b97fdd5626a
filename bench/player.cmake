# Main-window benchmarks: listing a large folder, start-up to first paint, CPU while playing.
foreach(b bench_listing bench_playback_cpu)
  add_executable(${b} ${CMAKE_CURRENT_LIST_DIR}/${b}.cpp)
  target_link_libraries(${b} PRIVATE zolm_gui)
endforeach()
configure_file(${CMAKE_CURRENT_LIST_DIR}/bench_startup.sh ${CMAKE_CURRENT_BINARY_DIR}/bench_startup.sh COPYONLY)
