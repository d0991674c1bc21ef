# Message composition benchmark: time and peak memory of composing and
# rebuilding a message with one large attachment, against Python's email.
add_executable(mime_bench ${CMAKE_CURRENT_LIST_DIR}/mime_bench.cpp)
target_link_libraries(mime_bench PRIVATE pellam_mime pellam_warnings)
target_compile_definitions(mime_bench PRIVATE
  PELLAM_PYTHON="${PELLAM_PYTHON}"
  MIME_PYTHON_SCRIPT="${CMAKE_CURRENT_LIST_DIR}/mime_python_compose.py")
