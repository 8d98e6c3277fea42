# The self-contained pieces of the base library: BinaryConversion, the event queue and
# elapsed time. Compiled once, into both generations of the library and the tests.
add_library(posframe_pure OBJECT
  ${CMAKE_CURRENT_LIST_DIR}/binconv.cpp
  ${CMAKE_CURRENT_LIST_DIR}/event_queue.cpp
  ${CMAKE_CURRENT_LIST_DIR}/interval.cpp)
set_target_properties(posframe_pure PROPERTIES POSITION_INDEPENDENT_CODE ON)
target_include_directories(posframe_pure PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(posframe_pure PUBLIC posplat opos_include)

kavro_test(posframe_binconv_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/binconv_test.cpp
  LIBS posframe_pure)
kavro_test(posframe_event_queue_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/event_queue_test.cpp
  LIBS posframe_pure)
kavro_test(posframe_interval_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/interval_test.cpp
  LIBS posframe_pure)

kavro_fuzz(posframe_binconv_fuzz
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/binconv_fuzz.cpp ${CMAKE_CURRENT_LIST_DIR}/binconv.cpp
  LIBS opos_include)
