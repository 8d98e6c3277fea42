# kavro_test(NAME SOURCES... [LIBS libs...]): one GoogleTest binary, registered with CTest.
function(kavro_test name)
  if(NOT KAVRO_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "KAVRO_TEST_BIN=${CMAKE_BINARY_DIR}")
endfunction()

# kavro_no_undefined(TARGET): a shared library must resolve every symbol at link time.
# Not under the fuzz build: clang leaves the sanitizer runtime to the executable there.
function(kavro_no_undefined target)
  if(NOT KAVRO_BUILD_FUZZ)
    target_link_options(${target} PRIVATE -Wl,--no-undefined)
  endif()
endfunction()

# kavro_module(NAME SOURCES...): a deliverable shared library (service object or control):
# symbols hidden except its exports, linked against the platform layer.
function(kavro_module name)
  add_library(${name} SHARED ${ARGN})
  set_target_properties(${name} PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE posplat)
  kavro_no_undefined(${name})
endfunction()

# kavro_fuzz(NAME SOURCES... LIBS ...): a libFuzzer target (clang, KAVRO_BUILD_FUZZ=ON).
function(kavro_fuzz name)
  if(NOT KAVRO_BUILD_FUZZ)
    return()
  endif()
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
endfunction()
