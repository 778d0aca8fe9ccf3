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

# orfa-lngcheck: the language-file checker for translators and the product's
# CI, on the installer's own reader.
add_library(orfa_lngcheck STATIC ${CMAKE_SOURCE_DIR}/tools/lngcheck/LngCheck.cpp)
target_link_libraries(orfa_lngcheck PUBLIC orfa_core)
orfa_warnings(orfa_lngcheck)
add_executable(orfa-lngcheck ${CMAKE_SOURCE_DIR}/tools/lngcheck/main.cpp)
target_link_libraries(orfa-lngcheck PRIVATE orfa_lngcheck)
orfa_warnings(orfa-lngcheck)
if(TARGET orfa_unit_tests)
  target_link_libraries(orfa_unit_tests PRIVATE orfa_lngcheck)
endif()
find_package(Python3 COMPONENTS Interpreter)
if(Python3_Interpreter_FOUND)
  # In the sanitizer tree the same samples run the checker under ASan/UBSan.
  set(ORFA_LNGCHECK_TEST lngcheck-samples)
  if(ORFA_FUZZ)
    set(ORFA_LNGCHECK_TEST lngcheck-samples-asan)
  endif()
  add_test(NAME ${ORFA_LNGCHECK_TEST}
    COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tools/lngcheck/test_samples.py
            $<TARGET_FILE:orfa-lngcheck>)
endif()
