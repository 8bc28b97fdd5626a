target_sources(zolm_player PRIVATE ${CMAKE_CURRENT_LIST_DIR}/Mpris.cpp ${CMAKE_CURRENT_LIST_DIR}/Mpris.h)
