# bench_bare_window: the floor that floor_startup.sh holds the player's start-up against.
add_executable(bench_bare_window ${CMAKE_CURRENT_LIST_DIR}/bench_bare_window.cpp
  ${CMAKE_SOURCE_DIR}/runtime/FirstPaint.cpp)
target_include_directories(bench_bare_window PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(bench_bare_window PRIVATE Qt6::Widgets)
