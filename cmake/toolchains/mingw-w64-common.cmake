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
  # lld's map names an archive member without its archive: the release's
  # notices look for it in the folders lld links from.
  set(IMDAEMON_LIBRARY_DIRS ${mingw_gcc_dir} /usr/${MINGW_TRIPLE}/lib)
else()
  set(CMAKE_C_COMPILER ${MINGW_TRIPLE}-gcc-posix)
  set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++-posix)
  set(mingw_link_flags "-static")
endif()

# The oldest Windows every binary runs on, decided here once: Windows Vista /
# Server 2008 (NT 6.0), the first with GetTickCount64 and the oldest the
# manifest names. The headers then declare nothing newer (_WIN32_WINNT,
# WINVER), and the PE headers of every program and library (GNU ld and lld
# alike) name it as their operating-system and subsystem version, so an
# older Windows refuses them at once instead of failing on a missing entry
# point. tests/pe_check.py holds the binaries to it.
set(IMDAEMON_WINDOWS_MIN_MAJOR 6)
set(IMDAEMON_WINDOWS_MIN_MINOR 0)
set(IMDAEMON_WINNT 0x0600)
# windows.h without the headers of the parts of Windows nobody here uses
# (the old Winsock, DDE, RPC, the shell, the common dialogs, ...): it then
# parses in about half the time, in every file of every Windows build. A file
# that needs one of them includes it itself.
add_compile_definitions(WIN32_LEAN_AND_MEAN)

# Hardening, with every toolchain: a stack guard in every function with a
# local buffer or a local whose address is taken, the checked forms of the
# string and memory calls where the buffer size is known (the headers ignore
# _FORTIFY_SOURCE without optimisation), address-space randomisation with the
# relocations kept (high-entropy addresses on x64), DEP, and terminal-server
# awareness for the programs. -static links libssp (guard, checks) into each
# binary; it seeds the guard from the system's random source (ADVAPI32.dll).
# Given as directory options, not as initial cache flags, so that a build
# folder configured before still gets them.
add_compile_definitions(_WIN32_WINNT=${IMDAEMON_WINNT} WINVER=${IMDAEMON_WINNT} _FORTIFY_SOURCE=2)
add_compile_options($<$<COMPILE_LANGUAGE:C,CXX>:-fstack-protector-strong>)
# The compiler driver links libssp when it sees the option at the link too.
add_link_options(-fstack-protector-strong
                 -Wl,--major-os-version=${IMDAEMON_WINDOWS_MIN_MAJOR},--minor-os-version=${IMDAEMON_WINDOWS_MIN_MINOR}
                 -Wl,--major-subsystem-version=${IMDAEMON_WINDOWS_MIN_MAJOR},--minor-subsystem-version=${IMDAEMON_WINDOWS_MIN_MINOR}
                 -Wl,--dynamicbase,--nxcompat $<$<STREQUAL:$<TARGET_PROPERTY:TYPE>,EXECUTABLE>:-Wl,--tsaware>)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  add_link_options(-Wl,--high-entropy-va)
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
# The project's Wine runner, in cmake/ beside this folder.
get_filename_component(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../wine-run" ABSOLUTE)
