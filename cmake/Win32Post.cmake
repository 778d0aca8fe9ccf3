# After linking, the installer gets its own digest stamped in.
add_custom_command(TARGET orfa-update POST_BUILD
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tools/stamp_digest.py $<TARGET_FILE:orfa-update>
  COMMENT "Stamping the installer's digest")
