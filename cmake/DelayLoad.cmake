# Delay-import libraries of the system DLLs the installer uses besides
# kernel32. Linked in place of the toolchain's import libraries, they leave
# these DLLs out of the executable's import table: each is loaded on its first
# call, after the program's entry has restricted the DLL search to the system
# folder (platform/win32/Win32DllSearch.cpp), and never when nothing calls it.
find_program(ORFA_DLLTOOL NAMES ${ORFA_TRIPLE}-dlltool REQUIRED)
if(NOT CMAKE_NM)
  find_program(CMAKE_NM NAMES ${ORFA_TRIPLE}-nm REQUIRED)
endif()

set(ORFA_DELAY_DEF_OPTIONS "")
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(ORFA_DELAY_DEF_OPTIONS --no-underscore)
endif()
set(ORFA_DELAY_LOADED_DLLS advapi32 shell32 user32 gdi32 comctl32 ole32 oleaut32)
set(ORFA_DELAY_DIR ${CMAKE_BINARY_DIR}/delayload)
set(ORFA_DELAY_LIBRARIES "")
foreach(dll ${ORFA_DELAY_LOADED_DLLS})
  find_library(ORFA_IMPORT_LIB_${dll} NAMES ${dll} REQUIRED NO_CACHE)
  set(def ${ORFA_DELAY_DIR}/${dll}.def)
  set(lib ${ORFA_DELAY_DIR}/lib${dll}-delay.a)
  # dlltool leaves its temporary files in the folder it runs in.
  file(MAKE_DIRECTORY ${ORFA_DELAY_DIR}/${dll}.tmp)
  add_custom_command(OUTPUT ${lib}
    COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tools/delay_def.py ${CMAKE_NM}
            ${ORFA_IMPORT_LIB_${dll}} ${dll}.dll ${def} ${ORFA_DELAY_DEF_OPTIONS}
    COMMAND ${CMAKE_COMMAND} -E rm -f ${lib}
    # -k: the stdcall names are imported without their @N. Paths relative to
    # the working folder: dlltool names symbols after them, and the build must
    # come out the same in any folder.
    COMMAND ${ORFA_DLLTOOL} -k --input-def ../${dll}.def --dllname ${dll}.dll
            --output-delaylib ../lib${dll}-delay.a --temp-prefix ${dll}_delay
    WORKING_DIRECTORY ${ORFA_DELAY_DIR}/${dll}.tmp
    DEPENDS ${CMAKE_SOURCE_DIR}/tools/delay_def.py ${ORFA_IMPORT_LIB_${dll}}
    COMMENT "Delay-import library of ${dll}.dll"
    VERBATIM)
  list(APPEND ORFA_DELAY_LIBRARIES ${lib})
endforeach()
add_custom_target(orfa_delay_libraries DEPENDS ${ORFA_DELAY_LIBRARIES})

if(CMAKE_SIZEOF_VOID_P EQUAL 4)  # once, in the shipped build
  add_test(NAME delay-def
    COMMAND ${Python3_EXECUTABLE} -m unittest -v test_delay_def
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/build)
  set_tests_properties(delay-def PROPERTIES ENVIRONMENT PYTHONDONTWRITEBYTECODE=1)
endif()

# After linking, every address slot of a delay-loaded function must point at
# its load stub: a slot left zero would send the first call to address 0.
function(orfa_check_delay_slots target)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tools/check_delay_slots.py
            $<TARGET_FILE:${target}> ${ORFA_DELAY_LOADED_DLLS}
    COMMENT "Checking the delay-import slots of ${target}"
    VERBATIM)
endfunction()
