# Contract tests: the same cases against the real Windows platform (run under
# Wine) and against the simulated Windows. Included by the Windows build only.

# --- GoogleTest from Debian's sources, built with the cross compiler.
set(ORFA_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
add_subdirectory(${ORFA_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# GoogleTest's own code is not held to the project's warnings; it gets the
# adjustments for the win32 thread model (gtest-custom) before its own headers.
foreach(gtest_target gtest gtest_main)
  target_compile_options(${gtest_target} PRIVATE -w)
  target_include_directories(${gtest_target} BEFORE PUBLIC
    ${CMAKE_SOURCE_DIR}/tests/contract/gtest-custom)
endforeach()

file(GLOB ORFA_CONTRACT_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/contract/*.cpp)
add_executable(orfa_contract_tests ${ORFA_CONTRACT_SOURCES}
  ${CMAKE_SOURCE_DIR}/tests/contract/contract.rc)
target_link_libraries(orfa_contract_tests PRIVATE orfa_win32 orfa_sim gtest)
orfa_check_delay_slots(orfa_contract_tests)
target_link_options(orfa_contract_tests PRIVATE -static -static-libgcc -static-libstdc++)
orfa_warnings(orfa_contract_tests)
set_target_properties(orfa_contract_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

add_test(NAME contract${ORFA_WINE_SUFFIX}
  COMMAND ${CMAKE_SOURCE_DIR}/tools/wine-run.sh $<TARGET_FILE:orfa_contract_tests>)
set_tests_properties(contract${ORFA_WINE_SUFFIX} PROPERTIES TIMEOUT 900
  ENVIRONMENT "${ORFA_WINE_ENV}")
