# Contract tests: the same cases against the real Windows platform (run under
# Wine) and against the simulated Windows. Included by the Windows build only.

# The progress window's services stand in as a stub until their real sources
# exist; then the stub is left out so only one definition is linked.
file(GLOB ORFA_PROGRESS_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/platform/win32/Progress*.cpp)
list(FILTER ORFA_PROGRESS_SOURCES EXCLUDE REGEX "/ProgressStub_win32\\.cpp$")
if(ORFA_PROGRESS_SOURCES)
  get_target_property(ORFA_WIN32_TARGET_SOURCES orfa_win32 SOURCES)
  list(FILTER ORFA_WIN32_TARGET_SOURCES EXCLUDE REGEX "/ProgressStub_win32\\.cpp$")
  set_target_properties(orfa_win32 PROPERTIES SOURCES "${ORFA_WIN32_TARGET_SOURCES}")
endif()
