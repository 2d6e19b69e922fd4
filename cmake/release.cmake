# The release: the deliverables and the deployment note, no stand-in, one ZIP
# per architecture, release/imdaemon-<version>-win64.zip (win32 for x86),
# made with every build. Each deliverable's folder calls
#   ship(<target> DESCRIPTION <what it is>)
# which gives the binary its version resource (and a program its manifest),
# strips it and keeps its symbols beside it in the build as <binary>.debug,
# named in its .gnu_debuglink so that a crash on a station can be read later,
# pads it as signing would (pad_pe.py), and signs it when signing is
# configured.
#
# Two builds of one commit give the same bytes, wherever and whenever they
# run: the PE time stamps and the ZIP's entry times come from
# SOURCE_DATE_EPOCH or else the commit's time, never the clock; the source and
# build folders are written as /imdaemon and /imdaemon/build into the
# debug information; the ZIP holds its entries in name order with fixed
# modes.
if(NOT WIN32)
  return()
endif()
enable_language(RC)

# The source revision and the release time, as cmake/source-revision tells
# them (scripts/release asks it too, and configures again when the build's
# differ); the build configures again when git's HEAD or index change.
execute_process(COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/source-revision ${CMAKE_SOURCE_DIR}
                OUTPUT_VARIABLE source_facts OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
string(REPLACE "\n" ";" source_facts "${source_facts}")
list(POP_FRONT source_facts IMDAEMON_REVISION IMDAEMON_SOURCE_DATE)
set(IMDAEMON_SOURCE "${IMDAEMON_REVISION} ${IMDAEMON_SOURCE_DATE}" CACHE INTERNAL
    "The source revision and release time the build was configured with")
set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source_facts})
message(STATUS "Release: version ${PROJECT_VERSION}, source revision ${IMDAEMON_REVISION}, time ${IMDAEMON_SOURCE_DATE}")

# No build path in the objects: the source folder is /imdaemon, the build
# folder /imdaemon/build (mapped last, since it may lie inside the source).
add_compile_options($<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}=/imdaemon>
                    $<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_BINARY_DIR}=/imdaemon/build>)

# Optional Authenticode signing of the shipped binaries, before they are
# zipped: a PKCS#12 file with the key and certificate, and a file holding its
# password.
set(IMDAEMON_SIGN_PFX "" CACHE FILEPATH "PKCS#12 file to sign the shipped binaries with (none: unsigned)")
set(IMDAEMON_SIGN_PASSWORD_FILE "" CACHE FILEPATH "File holding the password of IMDAEMON_SIGN_PFX")
if(IMDAEMON_SIGN_PFX)
  find_program(OSSLSIGNCODE osslsigncode REQUIRED)
  if(NOT EXISTS ${IMDAEMON_SIGN_PFX} OR NOT EXISTS "${IMDAEMON_SIGN_PASSWORD_FILE}")
    message(FATAL_ERROR "IMDAEMON_SIGN_PFX and IMDAEMON_SIGN_PASSWORD_FILE must name existing files")
  endif()
endif()

function(ship target)
  cmake_parse_arguments(ARG "" "DESCRIPTION" "" ${ARGN})
  get_target_property(type ${target} TYPE)
  set(RC_DESCRIPTION ${ARG_DESCRIPTION})
  set(RC_INTERNAL_NAME ${target})
  if(type STREQUAL "EXECUTABLE")
    set(RC_FILE_NAME ${target}.exe)
    set(RC_FILE_TYPE VFT_APP)
    set(RC_MANIFEST "1 24 \"${CMAKE_CURRENT_FUNCTION_LIST_DIR}/application.manifest\" // RT_MANIFEST")
  else()
    set(RC_FILE_NAME ${target}.dll)
    set(RC_FILE_TYPE VFT_DLL)
    set(RC_MANIFEST "")
  endif()
  set(RC_VERSION_PATCH 0)
  if(PROJECT_VERSION_PATCH)
    set(RC_VERSION_PATCH ${PROJECT_VERSION_PATCH})
  endif()
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  set_property(SOURCE ${rc} APPEND PROPERTY OBJECT_DEPENDS ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/application.manifest)

  # GNU ld and binutils take the PE time stamp from SOURCE_DATE_EPOCH, lld
  # from its -timestamp option; without either they use the clock.
  set(epoch ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${IMDAEMON_SOURCE_DATE})
  set_target_properties(${target} PROPERTIES C_LINKER_LAUNCHER "${epoch}" CXX_LINKER_LAUNCHER "${epoch}")
  if(CMAKE_EXE_LINKER_FLAGS MATCHES "-fuse-ld=lld")
    target_link_options(${target} PRIVATE -Wl,-Xlink=-timestamp:${IMDAEMON_SOURCE_DATE})
  endif()

  # The linker's map names every object it put into the binary: the
  # third-party notices and the bill of materials are made from it.
  set(map ${CMAKE_CURRENT_BINARY_DIR}/${target}.map)
  target_link_options(${target} PRIVATE -Wl,-Map=${map})
  set_property(GLOBAL APPEND PROPERTY IMDAEMON_SHIPPED_MAPS ${map}=$<TARGET_FILE:${target}>)

  set(binary $<TARGET_FILE:${target}>)
  set(sign)
  if(IMDAEMON_SIGN_PFX)
    set(sign
      COMMAND ${OSSLSIGNCODE} sign -pkcs12 ${IMDAEMON_SIGN_PFX} -readpass ${IMDAEMON_SIGN_PASSWORD_FILE}
              -h sha256 -n ${ARG_DESCRIPTION} -in ${binary} -out ${binary}.signed
      COMMAND ${CMAKE_COMMAND} -E rename ${binary}.signed ${binary})
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${epoch} ${CMAKE_OBJCOPY} --only-keep-debug ${binary} ${binary}.debug
    COMMAND ${epoch} ${CMAKE_STRIP} --strip-debug --strip-unneeded ${binary}
    COMMAND ${epoch} ${CMAKE_OBJCOPY} --add-gnu-debuglink=$<TARGET_FILE_NAME:${target}>.debug ${binary}
    COMMAND python3 ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/pad_pe.py ${binary}
    ${sign}
    WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
    VERBATIM)
  install(PROGRAMS ${binary} DESTINATION .)
  set_property(GLOBAL APPEND PROPERTY IMDAEMON_SHIPPED ${target})
endfunction()

# What the release holds beside the binaries: the deployment note, the
# third-party notices and the bill of materials (both made from the link, by
# third_party.py, after signing, so that the bill holds the hashes of the
# files as shipped).
set(IMDAEMON_NOTICES ${CMAKE_BINARY_DIR}/third_party/THIRD-PARTY-NOTICES.txt)
set(IMDAEMON_BOM ${CMAKE_BINARY_DIR}/third_party/imdaemon.cdx.json)
install(FILES ${PROJECT_SOURCE_DIR}/DEPLOY.txt ${IMDAEMON_NOTICES} ${IMDAEMON_BOM} DESTINATION .)

# The ZIP of what cmake --install installs, once every deliverable is known
# (at the end of the top folder). Its path is kept in the cache too, for the
# scripts that look at it. A build that is not optimised names its type, so
# that nobody takes it for the release.
if(IMDAEMON_ARCH STREQUAL "x86")
  set(zip_name imdaemon-${PROJECT_VERSION}-win32)
else()
  set(zip_name imdaemon-${PROJECT_VERSION}-win64)
endif()
if(NOT CMAKE_BUILD_TYPE)
  string(APPEND zip_name -unoptimised)
elseif(NOT CMAKE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo|MinSizeRel)$")
  string(TOLOWER "${zip_name}-${CMAKE_BUILD_TYPE}" zip_name)
endif()
set(IMDAEMON_RELEASE_ZIP ${CMAKE_BINARY_DIR}/release/${zip_name}.zip CACHE INTERNAL "The release ZIP this build makes")
function(release_zip)
  set(zip ${IMDAEMON_RELEASE_ZIP})
  set(note ${PROJECT_SOURCE_DIR}/DEPLOY.txt)
  get_filename_component(notices_name ${IMDAEMON_NOTICES} NAME)
  get_filename_component(bom_name ${IMDAEMON_BOM} NAME)
  set(entries DEPLOY.txt=${note} ${notices_name}=${IMDAEMON_NOTICES} ${bom_name}=${IMDAEMON_BOM})
  get_property(shipped GLOBAL PROPERTY IMDAEMON_SHIPPED)
  foreach(target IN LISTS shipped)
    list(APPEND entries $<TARGET_FILE_NAME:${target}>=$<TARGET_FILE:${target}>)
  endforeach()
  get_property(maps GLOBAL PROPERTY IMDAEMON_SHIPPED_MAPS)
  list(TRANSFORM maps PREPEND "--map;")
  set(libdirs ${IMDAEMON_LIBRARY_DIRS})
  list(TRANSFORM libdirs PREPEND "--libdir;")
  add_custom_command(OUTPUT ${IMDAEMON_NOTICES} ${IMDAEMON_BOM}
    COMMAND python3 ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/third_party.py --notices ${IMDAEMON_NOTICES}
            --bom ${IMDAEMON_BOM} --version ${PROJECT_VERSION} --revision ${IMDAEMON_REVISION}
            --epoch ${IMDAEMON_SOURCE_DATE} ${libdirs} ${maps} --file DEPLOY.txt=${note}
    DEPENDS ${shipped} ${note} ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/third_party.py
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    COMMENT "Third-party notices and bill of materials"
    VERBATIM)
  add_custom_command(OUTPUT ${zip}
    COMMAND python3 ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/release_zip.py ${zip} ${IMDAEMON_SOURCE_DATE} ${entries}
    DEPENDS ${shipped} ${note} ${IMDAEMON_NOTICES} ${IMDAEMON_BOM} ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/release_zip.py
    COMMENT "Release ZIP ${zip}"
    VERBATIM)
  add_custom_target(release_zip ALL DEPENDS ${zip})
endfunction()
if(NOT IMDAEMON_REAL_PLATFORM)
  cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL release_zip)
endif()
