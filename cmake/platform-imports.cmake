# Import libraries for the NNM platform's own ov.dll and ovw.dll, made from
# their export lists in platform/, for a build that runs beside the real
# platform instead of the stand-ins.
foreach(lib ov ovw)
  set(implib ${CMAKE_BINARY_DIR}/platform/lib${lib}.dll.a)
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/platform)
  execute_process(COMMAND ${CMAKE_DLLTOOL} -d ${PROJECT_SOURCE_DIR}/platform/${lib}.def -l ${implib}
                  RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "cannot make the import library for ${lib}.dll")
  endif()
  add_library(${lib} SHARED IMPORTED)
  set_target_properties(${lib} PROPERTIES
    IMPORTED_IMPLIB ${implib}
    INTERFACE_INCLUDE_DIRECTORIES ${PROJECT_SOURCE_DIR}/platform)
endforeach()
