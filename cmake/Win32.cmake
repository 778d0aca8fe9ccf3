# Windows build: the installer itself, its contract tests and the end-to-end
# helpers, all cross-compiled for 32-bit Windows.
enable_language(RC)
# Debian's own python3 first: the stamping tool needs its python3-xxhash.
if(NOT DEFINED Python3_EXECUTABLE AND EXISTS /usr/bin/python3)
  set(Python3_EXECUTABLE /usr/bin/python3)
endif()
find_package(Python3 REQUIRED COMPONENTS Interpreter)

# The payload and its identity. -DORFA_PAYLOAD=/path/to/orfm.cok builds the
# update for that file: its name, resource name and type, and its update
# version (from the file's own update stamp) come from the file.
set(ORFA_PAYLOAD "" CACHE FILEPATH "The payload file to embed (a .cok or .3bs) instead of the generated sample")
set(ORFA_PAYLOAD_TITLE_KEY "accordion" CACHE STRING "Language-file key of the payload's title")
if(NOT ORFA_PAYLOAD_TITLE_KEY MATCHES "^[A-Za-z0-9_]+$")
  message(FATAL_ERROR "ORFA_PAYLOAD_TITLE_KEY \"${ORFA_PAYLOAD_TITLE_KEY}\": a key is a word of letters, digits and \"_\"")
endif()
if(ORFA_PAYLOAD)
  get_filename_component(ORFA_PAYLOAD_FILE "${ORFA_PAYLOAD}" ABSOLUTE)
  execute_process(
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/check_payload.py
            ${ORFA_PAYLOAD_FILE} "${ORFA_PAYLOAD_VERSION}" --identity
    OUTPUT_VARIABLE ORFA_PAYLOAD_IDENTITY ERROR_VARIABLE ORFA_PAYLOAD_FAULT
    RESULT_VARIABLE ORFA_PAYLOAD_REFUSED OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(ORFA_PAYLOAD_REFUSED)
    string(STRIP "${ORFA_PAYLOAD_FAULT}" ORFA_PAYLOAD_FAULT)
    message(FATAL_ERROR "${ORFA_PAYLOAD_FAULT}")
  endif()
  # A new file under the same path is looked at again.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ORFA_PAYLOAD_FILE})
  list(GET ORFA_PAYLOAD_IDENTITY 0 ORFA_PAYLOAD_FILE_NAME)
  list(GET ORFA_PAYLOAD_IDENTITY 1 ORFA_PAYLOAD_RESOURCE_NAME)
  list(GET ORFA_PAYLOAD_IDENTITY 2 ORFA_PAYLOAD_RESOURCE_TYPE)
  list(GET ORFA_PAYLOAD_IDENTITY 3 ORFA_PAYLOAD_STAMP_VERSION)
else()
  # The generated sample: "orfm.cok", version 13 unless a version is given.
  set(ORFA_PAYLOAD_FILE ${CMAKE_BINARY_DIR}/payload/orfm.cok)
  set(ORFA_PAYLOAD_FILE_NAME orfm.cok)
  set(ORFA_PAYLOAD_RESOURCE_NAME ORFM)
  set(ORFA_PAYLOAD_RESOURCE_TYPE COK)
  if("${ORFA_PAYLOAD_VERSION}" STREQUAL "")
    set(ORFA_PAYLOAD_STAMP_VERSION 13)
  else()
    set(ORFA_PAYLOAD_STAMP_VERSION ${ORFA_PAYLOAD_VERSION})
  endif()
endif()
# From here on ORFA_PAYLOAD_VERSION is the version the file carries.
set(ORFA_PAYLOAD_VERSION ${ORFA_PAYLOAD_STAMP_VERSION})
message(STATUS "Payload ${ORFA_PAYLOAD_FILE_NAME} (${ORFA_PAYLOAD_RESOURCE_TYPE}/${ORFA_PAYLOAD_RESOURCE_NAME}), "
               "update version ${ORFA_PAYLOAD_VERSION}, title key \"${ORFA_PAYLOAD_TITLE_KEY}\"")

# Reproducible, self-contained executables: no time stamps, static runtimes.
# Sections are page-aligned in the file too, so that a loader can map the
# 40 MB image instead of copying it into private memory.
set(ORFA_WIN32_LINK_OPTIONS -static -static-libgcc -static-libstdc++ -s
    -Wl,--no-insert-timestamp -Wl,--build-id=none -Wl,--dynamicbase -Wl,--nxcompat
    -Wl,--file-alignment=4096)
add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}=. -ffile-prefix-map=${CMAKE_BINARY_DIR}=build)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} --use-temp-file")

# --- the payload
if(ORFA_PAYLOAD)
  add_custom_target(orfa_payload)
else()
  add_custom_command(OUTPUT ${ORFA_PAYLOAD_FILE}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/payload
    COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tools/make_payload.py ${ORFA_PAYLOAD_FILE}
            --version ${ORFA_PAYLOAD_VERSION}
    DEPENDS ${CMAKE_SOURCE_DIR}/tools/make_payload.py
    COMMENT "Generating the sample payload orfm.cok")
  add_custom_target(orfa_payload DEPENDS ${ORFA_PAYLOAD_FILE})
endif()
set(ORFA_PAYLOAD_STAMP ${CMAKE_BINARY_DIR}/payload/checked.stamp)
add_custom_command(OUTPUT ${ORFA_PAYLOAD_STAMP}
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tools/check_payload.py
          ${ORFA_PAYLOAD_FILE} ${ORFA_PAYLOAD_VERSION}
  COMMAND ${CMAKE_COMMAND} -E touch ${ORFA_PAYLOAD_STAMP}
  DEPENDS ${ORFA_PAYLOAD_FILE} ${CMAKE_SOURCE_DIR}/tools/check_payload.py
  COMMENT "Checking the payload")
add_custom_target(orfa_payload_checked DEPENDS ${ORFA_PAYLOAD_STAMP})
add_dependencies(orfa_payload_checked orfa_payload)

set(ORFA_MANIFEST ${CMAKE_SOURCE_DIR}/res/orfa-update.manifest)
# The version resource: the update version as the first part of the file and
# product version ("14.0.0.0").
set(ORFA_VERSION_TEXT "${ORFA_PAYLOAD_VERSION}.0.0.0")
set(ORFA_VERSION_NUMBERS "${ORFA_PAYLOAD_VERSION},0,0,0")
configure_file(${CMAKE_SOURCE_DIR}/res/orfa-update.rc.in ${CMAKE_BINARY_DIR}/res/orfa-update.rc @ONLY)
set_source_files_properties(${CMAKE_BINARY_DIR}/res/orfa-update.rc PROPERTIES
  OBJECT_DEPENDS "${ORFA_PAYLOAD_FILE};${ORFA_PAYLOAD_STAMP};${ORFA_MANIFEST}")

# --- the Windows implementation of the platform seam
file(GLOB ORFA_WIN32_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/platform/win32/*.cpp
  ${CMAKE_SOURCE_DIR}/app/*_win.cpp
  ${CMAKE_SOURCE_DIR}/install/*_win.cpp
  ${CMAKE_SOURCE_DIR}/lang/*_win.cpp
  ${CMAKE_SOURCE_DIR}/sysinfo/*_win.cpp
  ${CMAKE_SOURCE_DIR}/ui/*_win.cpp)
list(FILTER ORFA_WIN32_SOURCES EXCLUDE REGEX "/(Main_win|WinMain)\\.cpp$")
add_library(orfa_win32 STATIC ${ORFA_WIN32_SOURCES})
target_link_libraries(orfa_win32 PUBLIC orfa_core)
# DECLSPEC_IMPORT empty: system functions are called through their import
# libraries' call thunks (a direct call), not through their "__imp_" address
# slots. On i386, GNU ld drops the call thunk of a delay-import library's
# member that is reached only through that slot, and the slot, which points
# at the thunk's load stub, is then left zero: the first call jumps to
# address 0. A direct call keeps the thunk, and with it the stub
# (tools/check_delay_slots.py checks every slot of the finished image).
target_compile_definitions(orfa_win32 PUBLIC WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0501
  DECLSPEC_IMPORT=)
target_compile_definitions(orfa_core PUBLIC NOMINMAX)
orfa_warnings(orfa_win32)
# Only kernel32 (and the C runtime) is imported; every other system DLL is
# delay-loaded from the system folder (cmake/DelayLoad.cmake).
include(${CMAKE_SOURCE_DIR}/cmake/DelayLoad.cmake)
add_dependencies(orfa_win32 orfa_delay_libraries)
target_link_libraries(orfa_win32 PUBLIC ${ORFA_DELAY_LIBRARIES} kernel32)
# Interface identifiers of the shell's COM interfaces: static data, no DLL.
target_link_libraries(orfa_win32 PUBLIC uuid)

# --- the installer
add_executable(orfa-update WIN32 ${CMAKE_SOURCE_DIR}/app/Main_win.cpp
  ${CMAKE_BINARY_DIR}/res/orfa-update.rc)
target_link_libraries(orfa-update PRIVATE orfa_win32)
orfa_check_delay_slots(orfa-update)
# C symbols carry a leading underscore on 32-bit Windows only.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(ORFA_ENTRY_SYMBOL _OrfaEntry)
else()
  set(ORFA_ENTRY_SYMBOL OrfaEntry)
endif()
# The entry restricts the DLL search, then starts the C runtime (app/Main_win.cpp).
target_link_options(orfa-update PRIVATE ${ORFA_WIN32_LINK_OPTIONS} -Wl,--entry=${ORFA_ENTRY_SYMBOL})
# The payload's identity reaches the program entry as definitions.
target_compile_definitions(orfa-update PRIVATE
  ORFA_PAYLOAD_VERSION=${ORFA_PAYLOAD_VERSION}
  ORFA_PAYLOAD_FILE_NAME="${ORFA_PAYLOAD_FILE_NAME}"
  ORFA_PAYLOAD_TITLE_KEY="${ORFA_PAYLOAD_TITLE_KEY}")
orfa_warnings(orfa-update)
add_dependencies(orfa-update orfa_payload_checked)
set_target_properties(orfa-update PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

# The Wine layers' tests. In the 64-bit build (for a machine that cannot run
# 32-bit programs) they run under Wine's 64-bit loader and carry ".wine64" in
# their names, beside the skipped ones of the 32-bit build.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(ORFA_WINE_SUFFIX ".wine64")
  set(ORFA_WINE_ENV "ORFA_WINE64_ONLY=1;ORFA_WINE_LOADER=/usr/lib/wine/wine64")
else()
  set(ORFA_WINE_SUFFIX "")
  set(ORFA_WINE_ENV "")
endif()

include(${CMAKE_SOURCE_DIR}/cmake/Win32Post.cmake OPTIONAL)
include(${CMAKE_SOURCE_DIR}/tests/contract/Contract.cmake OPTIONAL)
include(${CMAKE_SOURCE_DIR}/tests/e2e/E2e.cmake OPTIONAL)
include(${CMAKE_SOURCE_DIR}/tests/wine/Wine.cmake OPTIONAL)
