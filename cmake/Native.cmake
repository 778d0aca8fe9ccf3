# Native build: the portable logic and its unit tests against the simulated Windows.
find_package(GTest REQUIRED)

file(GLOB ORFA_UNIT_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*.cpp)
if(ORFA_UNIT_SOURCES AND TARGET orfa_sim)
  add_executable(orfa_unit_tests ${ORFA_UNIT_SOURCES})
  target_link_libraries(orfa_unit_tests PRIVATE orfa_sim GTest::gtest GTest::gmock GTest::gtest_main)
  orfa_warnings(orfa_unit_tests)
  if(ORFA_FUZZ)
    add_test(NAME unit-asan COMMAND orfa_unit_tests)  # the same tests under ASan/UBSan
  else()
    add_test(NAME unit COMMAND orfa_unit_tests)
  endif()
endif()

if(ORFA_FUZZ)
  include(${CMAKE_SOURCE_DIR}/tests/fuzz/Fuzz.cmake)
endif()
