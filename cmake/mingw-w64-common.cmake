# Cross build for Windows with mingw-w64, for the triple MINGW_TRIPLE set by
# the including toolchain file: its gcc (posix thread model, which gives the
# test harness std::thread), or clang and lld when MINGW_CLANG is set, with
# the same headers, libraries and binutils. -static keeps every program free
# of compiler runtime DLLs. Programs run under Wine as the test emulator.
set(CMAKE_SYSTEM_NAME Windows)
if(MINGW_CLANG)
  # clang finds neither the posix-thread libstdc++ nor libgcc of Debian's
  # mingw-w64 by itself: name their folder (the newest gcc's, by version, so
  # that 12-posix comes before 9-posix), and link winpthread statically.
  file(GLOB mingw_gcc_dirs LIST_DIRECTORIES true /usr/lib/gcc/${MINGW_TRIPLE}/*-posix)
  if(NOT mingw_gcc_dirs)
    message(FATAL_ERROR "No /usr/lib/gcc/${MINGW_TRIPLE}/<version>-posix folder: clang needs the libstdc++ "
                        "and libgcc of mingw-w64's posix-thread gcc. Install it (scripts/deps).")
  endif()
  list(SORT mingw_gcc_dirs COMPARE NATURAL ORDER DESCENDING)
  list(GET mingw_gcc_dirs 0 mingw_gcc_dir)
  set(CMAKE_C_COMPILER clang)
  set(CMAKE_CXX_COMPILER clang++)
  set(CMAKE_C_COMPILER_TARGET ${MINGW_TRIPLE})
  set(CMAKE_CXX_COMPILER_TARGET ${MINGW_TRIPLE})
  set(CMAKE_CXX_FLAGS_INIT "-stdlib++-isystem ${mingw_gcc_dir}/include/c++ -stdlib++-isystem ${mingw_gcc_dir}/include/c++/${MINGW_TRIPLE}")
  set(mingw_link_flags "-fuse-ld=lld -static -L${mingw_gcc_dir}")
  set(CMAKE_CXX_STANDARD_LIBRARIES "-lpthread")
else()
  set(CMAKE_C_COMPILER ${MINGW_TRIPLE}-gcc-posix)
  set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++-posix)
  set(mingw_link_flags "-static")
endif()
set(CMAKE_EXE_LINKER_FLAGS_INIT "${mingw_link_flags}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${mingw_link_flags}")
set(CMAKE_RC_COMPILER ${MINGW_TRIPLE}-windres)
set(CMAKE_DLLTOOL ${MINGW_TRIPLE}-dlltool)
set(CMAKE_OBJDUMP ${MINGW_TRIPLE}-objdump)
set(CMAKE_OBJCOPY ${MINGW_TRIPLE}-objcopy)
set(CMAKE_STRIP ${MINGW_TRIPLE}-strip)
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run")
