# Windows build: the installer itself, its contract tests and the end-to-end
# helpers, all cross-compiled for 32-bit Windows.
enable_language(RC)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(ORFA_PAYLOAD "" CACHE FILEPATH "A real orfm.cok to embed instead of the generated sample")
set(ORFA_PAYLOAD_VERSION 13)

# Reproducible, self-contained executables: no time stamps, static runtimes.
set(ORFA_WIN32_LINK_OPTIONS -static -static-libgcc -static-libstdc++ -s
    -Wl,--no-insert-timestamp -Wl,--build-id=none -Wl,--dynamicbase -Wl,--nxcompat)
add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}=. -ffile-prefix-map=${CMAKE_BINARY_DIR}=build)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} --use-temp-file")

# --- the payload
if(ORFA_PAYLOAD)
  set(ORFA_PAYLOAD_FILE ${ORFA_PAYLOAD})
  add_custom_target(orfa_payload)
else()
  set(ORFA_PAYLOAD_FILE ${CMAKE_BINARY_DIR}/payload/orfm.cok)
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
target_compile_definitions(orfa_win32 PUBLIC WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0501)
target_compile_definitions(orfa_core PUBLIC NOMINMAX)
orfa_warnings(orfa_win32)
# Only DLLs that Windows always loads from its own folder are imported.
target_link_libraries(orfa_win32 PUBLIC advapi32 shell32 user32 gdi32 comctl32 ole32 kernel32)
# Interface identifiers of the shell's COM interfaces: static data, no DLL.
target_link_libraries(orfa_win32 PUBLIC uuid)

# --- the installer
add_executable(orfa-update WIN32 ${CMAKE_SOURCE_DIR}/app/Main_win.cpp
  ${CMAKE_BINARY_DIR}/res/orfa-update.rc)
target_link_libraries(orfa-update PRIVATE orfa_win32)
target_link_options(orfa-update PRIVATE ${ORFA_WIN32_LINK_OPTIONS})
target_compile_definitions(orfa-update PRIVATE ORFA_PAYLOAD_VERSION=${ORFA_PAYLOAD_VERSION})
orfa_warnings(orfa-update)
add_dependencies(orfa-update orfa_payload_checked)
set_target_properties(orfa-update PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

include(${CMAKE_SOURCE_DIR}/cmake/Win32Post.cmake OPTIONAL)
include(${CMAKE_SOURCE_DIR}/tests/contract/Contract.cmake OPTIONAL)
include(${CMAKE_SOURCE_DIR}/tests/e2e/E2e.cmake OPTIONAL)
include(${CMAKE_SOURCE_DIR}/tests/wine/Wine.cmake OPTIONAL)
