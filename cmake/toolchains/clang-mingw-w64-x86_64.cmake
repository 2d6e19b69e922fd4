# Windows x64 with clang and lld instead of gcc: a second compiler for the
# same sources.
set(MINGW_TRIPLE x86_64-w64-mingw32)
set(MINGW_CLANG ON)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
