# open_long: how long opening a file takes (what the player's opener does off the window's
# thread), and the length it gives; bench/open_long.sh runs it over a 3-hour MP3.
add_executable(open_long ${CMAKE_CURRENT_LIST_DIR}/open_long.cpp)
target_link_libraries(open_long PRIVATE zolm_media)
