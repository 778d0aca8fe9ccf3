# After linking, the installer's static imports are checked (kernel32 and
# msvcrt only) and its image marked to run from the page file when started
# from removable or network media; then it gets its own digest stamped in.
add_custom_command(TARGET orfa-update POST_BUILD
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tools/finish_image.py $<TARGET_FILE:orfa-update>
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tools/stamp_digest.py $<TARGET_FILE:orfa-update>
  COMMENT "Checking the installer's imports, marking it run-from-swap, stamping its digest")

# The 64-bit build of the same sources exists only to run the Wine layers on
# a machine that cannot run 32-bit programs; the shipped executable is the
# 32-bit one, and only it is checked here.
if(NOT CMAKE_SIZEOF_VOID_P EQUAL 4)
  return()
endif()

# The finished executable: PE32 GUI, imports, manifest and payload resource;
# and a second build that must come out byte for byte the same.
add_test(NAME executable-layout
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/build/check_executable.py
          $<TARGET_FILE:orfa-update> ${ORFA_PAYLOAD_FILE} ${CMAKE_OBJDUMP})
add_test(NAME executable-reproducible
  COMMAND bash ${CMAKE_SOURCE_DIR}/tests/build/check_reproducible.sh
          ${CMAKE_SOURCE_DIR} $<TARGET_FILE:orfa-update> ${CMAKE_BINARY_DIR}/repro-check
          -DORFA_PAYLOAD=${ORFA_PAYLOAD} -DORFA_PAYLOAD_VERSION=${ORFA_PAYLOAD_VERSION}
          -DORFA_PAYLOAD_TITLE_KEY=${ORFA_PAYLOAD_TITLE_KEY})
set_tests_properties(executable-reproducible PROPERTIES TIMEOUT 900)
add_test(NAME payload-check
  COMMAND ${Python3_EXECUTABLE} -m unittest -v test_check_payload
  WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/build)
set_tests_properties(payload-check PROPERTIES ENVIRONMENT PYTHONDONTWRITEBYTECODE=1)
