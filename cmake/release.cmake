# The release: the deliverables and the deployment note, no stand-in, one ZIP
# per architecture named by CPack's convention (imdaemon-1.0-win64.zip,
# imdaemon-1.0-win32.zip). The shipped binaries are stripped; their symbols
# stay beside them in the build as <binary>.debug, named in each binary's
# .gnu_debuglink, so that a crash on a station can be read later. Each
# deliverable's folder calls ship(<target>).
function(ship target)
  set(binary $<TARGET_FILE:${target}>)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug ${binary} ${binary}.debug
    COMMAND ${CMAKE_STRIP} --strip-debug --strip-unneeded ${binary}
    COMMAND ${CMAKE_OBJCOPY} --add-gnu-debuglink=$<TARGET_FILE_NAME:${target}>.debug ${binary}
    WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
    VERBATIM)
  install(PROGRAMS ${binary} DESTINATION .)
endfunction()

if(NOT WIN32)
  return()
endif()
install(FILES ${CMAKE_CURRENT_LIST_DIR}/deployment-note.txt DESTINATION . RENAME DEPLOY.txt)
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME imdaemon)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
# cpack installs what is built and builds nothing itself.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
include(CPack)
