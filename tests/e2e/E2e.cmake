# End-to-end layer: helper programs that run beside the installer under Wine,
# and the Python test modules that drive them (one ctest test per module).
set(ORFA_E2E_DIR ${CMAKE_SOURCE_DIR}/tests/e2e)
set(ORFA_E2E_BIN ${CMAKE_BINARY_DIR}/e2e)

# The ComSpec recorder is a console program: the interpreter it starts shares
# the console the installer made for it. The others are GUI programs.
foreach(helper robot orfa_standin boxprobe comspec_recorder launcher)
  set(subsystem WIN32)
  if(helper STREQUAL "comspec_recorder")
    set(subsystem "")
  endif()
  add_executable(e2e_${helper} ${subsystem} ${ORFA_E2E_DIR}/${helper}.c)
  set_target_properties(e2e_${helper} PROPERTIES
    OUTPUT_NAME ${helper}
    RUNTIME_OUTPUT_DIRECTORY ${ORFA_E2E_BIN}
    C_STANDARD 99
    C_STANDARD_REQUIRED ON)
  target_compile_definitions(e2e_${helper} PRIVATE WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0501)
  target_link_options(e2e_${helper} PRIVATE -static -static-libgcc -s)
  target_link_libraries(e2e_${helper} PRIVATE shell32 user32 gdi32 kernel32)
  orfa_warnings(e2e_${helper})
endforeach()

# DLLs of system names, to be planted beside the installer: one source, one
# DLL a name, each recording its own loading (planted_dll.c).
set(ORFA_PLANTED_DLLS shcore uxtheme version dwmapi cryptbase cryptsp propsys userenv wintrust
    bcrypt rsaenh crypt32 imm32 msctf comctl32 sechost winmm)
add_library(e2e_planted_object OBJECT ${ORFA_E2E_DIR}/planted_dll.c)
set_target_properties(e2e_planted_object PROPERTIES C_STANDARD 99 C_STANDARD_REQUIRED ON)
target_compile_definitions(e2e_planted_object PRIVATE WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0501)
orfa_warnings(e2e_planted_object)
set(ORFA_PLANTED_TARGETS "")
foreach(dll ${ORFA_PLANTED_DLLS})
  add_library(e2e_planted_${dll} SHARED $<TARGET_OBJECTS:e2e_planted_object>)
  set_target_properties(e2e_planted_${dll} PROPERTIES
    OUTPUT_NAME ${dll}
    PREFIX ""
    RUNTIME_OUTPUT_DIRECTORY ${ORFA_E2E_BIN}/planted
    ARCHIVE_OUTPUT_DIRECTORY ${ORFA_E2E_BIN}/planted-lib)
  target_link_options(e2e_planted_${dll} PRIVATE -static -static-libgcc -s)
  target_link_libraries(e2e_planted_${dll} PRIVATE kernel32)
  list(APPEND ORFA_PLANTED_TARGETS e2e_planted_${dll})
endforeach()

add_custom_target(e2e_helpers DEPENDS e2e_robot e2e_orfa_standin e2e_boxprobe e2e_comspec_recorder
  e2e_launcher ${ORFA_PLANTED_TARGETS})

# Each test_*.py module is one ctest test. They need Wine and Xvfb; a module
# fails, saying why, when either is missing.
find_program(ORFA_WINE wine)
find_program(ORFA_XVFB Xvfb)
file(GLOB ORFA_E2E_TESTS CONFIGURE_DEPENDS ${ORFA_E2E_DIR}/test_*.py)
foreach(module_path ${ORFA_E2E_TESTS})
  get_filename_component(module ${module_path} NAME_WE)
  add_test(NAME e2e.${module}${ORFA_WINE_SUFFIX}
    COMMAND Python3::Interpreter -m unittest -v ${module}
    WORKING_DIRECTORY ${ORFA_E2E_DIR})
  set_tests_properties(e2e.${module}${ORFA_WINE_SUFFIX} PROPERTIES
    ENVIRONMENT "ORFA_E2E_BUILD=${CMAKE_BINARY_DIR};PYTHONDONTWRITEBYTECODE=1;${ORFA_WINE_ENV}"
    TIMEOUT 600
    LABELS e2e)
endforeach()
