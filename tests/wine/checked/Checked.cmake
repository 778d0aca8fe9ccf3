# The checked replacement (the question before an older file replaces a newer
# one, with the progress window around it) and the program version reader,
# against the real window system and version resources under Wine, with the
# end-to-end robot answering the question. Included by the Windows build.
set(ORFA_CHECKED_DIR ${CMAKE_CURRENT_LIST_DIR})
set(ORFA_CHECKED_BIN ${CMAKE_BINARY_DIR}/wine/checked)

# The checks program's own resource: a small orfm.cok of data version 100,
# older than the 120 of the file it is installed over.
set(ORFA_CHECKED_SAMPLE ${ORFA_CHECKED_BIN}/orfm-older.cok)
add_custom_command(OUTPUT ${ORFA_CHECKED_SAMPLE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${ORFA_CHECKED_BIN}
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tools/make_payload.py ${ORFA_CHECKED_SAMPLE}
          --size 4099 --version 13 --data-version 100
  DEPENDS ${CMAKE_SOURCE_DIR}/tools/make_payload.py
  COMMENT "Generating the older orfm.cok of the checked-replacement checks")
add_custom_target(orfa_checked_sample DEPENDS ${ORFA_CHECKED_SAMPLE})
configure_file(${ORFA_CHECKED_DIR}/checked.rc.in ${ORFA_CHECKED_BIN}/checked.rc @ONLY)
set_source_files_properties(${ORFA_CHECKED_BIN}/checked.rc PROPERTIES
  OBJECT_DEPENDS ${ORFA_CHECKED_SAMPLE})

add_executable(orfa_checked_checks ${ORFA_CHECKED_DIR}/CheckedChecks_win.cpp
  ${ORFA_CHECKED_BIN}/checked.rc)
target_link_libraries(orfa_checked_checks PRIVATE orfa_win32)
orfa_check_delay_slots(orfa_checked_checks)
target_link_options(orfa_checked_checks PRIVATE ${ORFA_WIN32_LINK_OPTIONS})
set_target_properties(orfa_checked_checks PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${ORFA_CHECKED_BIN})
add_dependencies(orfa_checked_checks orfa_checked_sample)
orfa_warnings(orfa_checked_checks)

# Three do-nothing programs: with a version resource, with two translations,
# and without any.
foreach(variant versioned first-of-two plain)
  set(sources ${ORFA_CHECKED_DIR}/tiny.c)
  if(NOT variant STREQUAL "plain")
    list(APPEND sources ${ORFA_CHECKED_DIR}/${variant}.rc)
  endif()
  add_executable(orfa_checked_${variant} ${sources})
  set_target_properties(orfa_checked_${variant} PROPERTIES
    OUTPUT_NAME ${variant} RUNTIME_OUTPUT_DIRECTORY ${ORFA_CHECKED_BIN} C_STANDARD 99)
  target_link_options(orfa_checked_${variant} PRIVATE -static -static-libgcc -s)
  orfa_warnings(orfa_checked_${variant})
  add_dependencies(orfa_checked_checks orfa_checked_${variant})
endforeach()
# The robot that answers the question boxes.
if(TARGET e2e_robot)
  add_dependencies(orfa_checked_checks e2e_robot)
endif()

# One Wine prefix and one virtual screen for all cases; screenshots are kept
# in wine/checked/ of the build folder.
add_test(NAME wine-checked-replacement${ORFA_WINE_SUFFIX}
  COMMAND Python3::Interpreter ${ORFA_CHECKED_DIR}/run_checked.py
          --build ${CMAKE_BINARY_DIR} --out ${ORFA_CHECKED_BIN})
set_tests_properties(wine-checked-replacement${ORFA_WINE_SUFFIX} PROPERTIES
  ENVIRONMENT "PYTHONDONTWRITEBYTECODE=1;${ORFA_WINE_ENV}"
  TIMEOUT 600)
