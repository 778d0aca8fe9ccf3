# Cross-compiling for 64-bit Windows with MinGW-w64: the same programs for the
# Wine tests on a machine that runs no 32-bit programs.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ORFA_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/MinGW.cmake)
