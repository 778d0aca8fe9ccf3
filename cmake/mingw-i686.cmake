# Cross-compiling for 32-bit Windows with MinGW-w64: the shipped installer.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ORFA_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/MinGW.cmake)
