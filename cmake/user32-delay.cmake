# USER32.dll is needed only on the exit command (FindWindowA, PostMessageA):
# it is delay-loaded, so that the daemon does not pay for loading it at
# start-up. Makes user32_delay, a delay-import library for those two calls.
# (With MSVC: /DELAYLOAD:user32.dll and delayimp.lib.)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(user32_exports "FindWindowA@8\nPostMessageA@16\n")
else()
  set(user32_exports "FindWindowA\nPostMessageA\n")
endif()
set(user32_def ${CMAKE_BINARY_DIR}/platform/user32-delay.def)
set(user32_lib ${CMAKE_BINARY_DIR}/platform/libuser32_delay.a)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/platform)
string(REPLACE "\\n" "\n" user32_exports "${user32_exports}")
file(WRITE ${user32_def} "LIBRARY USER32.dll\nEXPORTS\n${user32_exports}")
execute_process(COMMAND ${CMAKE_DLLTOOL} --input-def ${user32_def} --dllname USER32.dll
                        --output-delaylib ${user32_lib} RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "cannot make the delay-import library for USER32.dll")
endif()
add_library(user32_delay STATIC IMPORTED)
set_target_properties(user32_delay PROPERTIES IMPORTED_LOCATION ${user32_lib})
