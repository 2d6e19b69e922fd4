# Import libraries for the NNM platform's own ov.dll and ovw.dll, made at
# build time from their export lists in platform/, for a build that runs
# beside the real platform instead of the stand-ins.
foreach(lib ov ovw)
  set(def ${PROJECT_SOURCE_DIR}/platform/${lib}.def)
  set(implib ${CMAKE_BINARY_DIR}/platform/lib${lib}.dll.a)
  add_custom_command(OUTPUT ${implib}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/platform
                     COMMAND ${CMAKE_DLLTOOL} -d ${def} -l ${implib}
                     DEPENDS ${def}
                     COMMENT "Import library for ${lib}.dll")
  add_custom_target(${lib}_import_library DEPENDS ${implib})
  add_library(${lib} SHARED IMPORTED)
  set_target_properties(${lib} PROPERTIES
    IMPORTED_IMPLIB ${implib}
    INTERFACE_INCLUDE_DIRECTORIES ${PROJECT_SOURCE_DIR}/platform)
  add_dependencies(${lib} ${lib}_import_library)
endforeach()
