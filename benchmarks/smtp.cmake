# Transfer benchmark of the SMTP client against smtp-sink, a discard-only sink and curl; a plain
# program printing figures (run build/<preset>/benchmarks/smtp_bench).
add_executable(smtp_bench ${CMAKE_CURRENT_LIST_DIR}/smtp_bench.cpp)
target_link_libraries(smtp_bench PRIVATE pellam_smtp pellam_warnings)
target_compile_definitions(smtp_bench PRIVATE PELLAM_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
                                              PELLAM_PYTHON="${PELLAM_PYTHON}")
