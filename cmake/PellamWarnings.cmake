# Warnings are errors for the project's own targets (not for third-party code
# such as GoogleTest built from source).
add_library(pellam_warnings INTERFACE)
target_compile_options(pellam_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
  -Wcast-align -Woverloaded-virtual -Wimplicit-fallthrough -Werror)

# Adds a library made of every source file in the calling directory, plus the
# files of the given platform sub-folders.
function(pellam_add_library name)
  cmake_parse_arguments(L "" "" "DEPENDS;EXTRA_DIRS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  foreach(dir IN LISTS L_EXTRA_DIRS)
    file(GLOB more CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp)
    list(APPEND sources ${more})
  endforeach()
  if(NOT sources)
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE ${L_DEPENDS})
    return()
  endif()
  add_library(${name} STATIC ${sources})
  target_link_libraries(${name} PUBLIC ${L_DEPENDS} PRIVATE pellam_warnings)
endfunction()
