# Main-window benchmarks: listing a large folder, start-up to first paint, CPU while playing.
foreach(b bench_listing bench_playback_cpu)
  add_executable(${b} ${CMAKE_CURRENT_LIST_DIR}/${b}.cpp)
  target_link_libraries(${b} PRIVATE zolm_app zolm_media_testing)
endforeach()
configure_file(${CMAKE_CURRENT_LIST_DIR}/bench_startup.sh ${CMAKE_CURRENT_BINARY_DIR}/bench_startup.sh COPYONLY)
# skip_burst_probe: presses Ctrl+B fast at the running program and watches its window thread
# (MPRIS answers) and its streams on the sound server; bench/skip_burst.sh runs it.
add_executable(skip_burst_probe ${CMAKE_CURRENT_LIST_DIR}/skip_burst_probe.cpp)
target_link_libraries(skip_burst_probe PRIVATE Qt6::Core Qt6::DBus ${CMAKE_DL_LIBS})
