# The progress window and the console capture against the real window system
# and command interpreter, run under Wine. Included by the Windows build.
add_executable(orfa_sysui_checks ${CMAKE_CURRENT_LIST_DIR}/SysUiChecks_win.cpp)
target_link_libraries(orfa_sysui_checks PRIVATE orfa_win32)
orfa_check_delay_slots(orfa_sysui_checks)
target_link_options(orfa_sysui_checks PRIVATE ${ORFA_WIN32_LINK_OPTIONS})
orfa_warnings(orfa_sysui_checks)

# Runs the checks under Xvfb and keeps a screenshot of the shown window as
# wine/progress-window.png in the build folder.
add_test(NAME wine-progress-and-capture${ORFA_WINE_SUFFIX}
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/run-sysui-checks.sh
          ${CMAKE_SOURCE_DIR}/tools/wine-run.sh $<TARGET_FILE:orfa_sysui_checks>
          ${CMAKE_BINARY_DIR}/wine)
set_tests_properties(wine-progress-and-capture${ORFA_WINE_SUFFIX} PROPERTIES TIMEOUT 300
  ENVIRONMENT "${ORFA_WINE_ENV}")
include(${CMAKE_SOURCE_DIR}/tests/wine/checked/Checked.cmake OPTIONAL)
