# GoogleTest for the host comes from Debian; for a Windows build it is built
# from Debian's sources with the cross compiler.
if(CMAKE_CROSSCOMPILING)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # GoogleTest's own build already defines the GTest:: aliases.

  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(PELLAM_WINE_ARCH win64)
  else()
    set(PELLAM_WINE_ARCH win32)
  endif()
  set(PELLAM_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${CMAKE_SOURCE_DIR}/scripts/wine-run;${PELLAM_WINE_PREFIX};${PELLAM_WINE_ARCH})
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

# Adds a GoogleTest program and registers it with CTest. Natively every test
# case is its own CTest entry; under Wine the whole program is one entry, since
# each Wine process is costly to start. PROPERTIES are given to every entry.
function(pellam_add_gtest name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;PROPERTIES" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main GTest::gmock pellam_warnings)
  target_compile_definitions(${name} PRIVATE
    PELLAM_SOURCE_DIR="${CMAKE_SOURCE_DIR}" PELLAM_PYTHON="${PELLAM_PYTHON}")
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
    set_tests_properties(${name} PROPERTIES TIMEOUT 900 ${T_PROPERTIES})
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300 ${T_PROPERTIES})
  endif()
endfunction()
