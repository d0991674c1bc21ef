# What a wait on a silent server costs: wall and CPU time of a TSocketTalk time-out.
add_executable(talk_wait_bench ${CMAKE_CURRENT_LIST_DIR}/talk_wait_bench.cpp)
target_link_libraries(talk_wait_bench PRIVATE pellam_smtp pellam_warnings)
