# Codec throughput on 16 MiB inputs as ratios to memcpy of the same size, and
# MD5 against openssl (run build/<preset>/benchmarks/codec_bench).
add_executable(codec_bench ${CMAKE_CURRENT_LIST_DIR}/codec_bench.cpp)
target_link_libraries(codec_bench PRIVATE pellam_codec pellam_warnings)
target_include_directories(codec_bench PRIVATE ${CMAKE_SOURCE_DIR}/tests/codec)
