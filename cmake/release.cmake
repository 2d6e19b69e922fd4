# The release: the deliverables and the deployment note, no stand-in, one ZIP
# per architecture, release/imdaemon-<version>-win64.zip (win32 for x86);
# and beside it the self-test an administrator runs on Windows before
# deploying, with the stand-ins it runs the release against,
# release/imdaemon-<version>-win64-selftest.zip. Both are made with every
# build. Each binary of either calls
#   ship(<target> DESCRIPTION <what it is> [PACKAGE selftest] [FOLDER <folder>])
# which gives the binary its version resource (and a program its manifest),
# strips it and keeps its symbols beside it in the build as <binary>.debug,
# named in its .gnu_debuglink so that a crash on a station can be read later,
# pads it as signing would (pad-pe.py), and signs it when signing is
# configured; it goes in the release ZIP unless PACKAGE says the self-test's,
# at the ZIP's top or in FOLDER.
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
  cmake_parse_arguments(ARG "" "DESCRIPTION;PACKAGE;FOLDER" "" ${ARGN})
  if(NOT ARG_PACKAGE)
    set(ARG_PACKAGE release)
  endif()
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
    COMMAND python3 ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/pad-pe.py ${binary}
    ${sign}
    WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
    VERBATIM)
  set(entry $<TARGET_FILE_NAME:${target}>)
  if(ARG_FOLDER)
    set(entry ${ARG_FOLDER}/${entry})
  endif()
  set_property(GLOBAL APPEND PROPERTY IMDAEMON_${ARG_PACKAGE}_TARGETS ${target})
  set_property(GLOBAL APPEND PROPERTY IMDAEMON_${ARG_PACKAGE}_MAPS ${map}=${binary}=${entry})
  if(ARG_PACKAGE STREQUAL "release")
    install(PROGRAMS ${binary} DESTINATION .)
  endif()
endfunction()

# What each ZIP holds beside the binaries: a note for the administrator
# (the release's deployment note, the self-test's README.txt), the
# third-party notices and the bill of materials (both made from the link, by
# third-party.py, after signing, so that the bill holds the hashes of the
# files as shipped). Only the release is installed.
set(IMDAEMON_NOTICES ${CMAKE_BINARY_DIR}/third_party/THIRD-PARTY-NOTICES.txt)
set(IMDAEMON_BOM ${CMAKE_BINARY_DIR}/third_party/imdaemon.cdx.json)
install(FILES ${PROJECT_SOURCE_DIR}/DEPLOY.txt ${IMDAEMON_NOTICES} ${IMDAEMON_BOM} DESTINATION .)

# The ZIPs, once every binary is known (at the end of the top folder). Their
# paths are kept in the cache too, for the scripts that look at them. A
# build that is not optimised names its type, so that nobody takes it for
# the release.
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
set(IMDAEMON_SELFTEST_ZIP ${CMAKE_BINARY_DIR}/release/${zip_name}-selftest.zip CACHE INTERNAL
    "The self-test ZIP this build makes")

# package_zip(<package> <zip> <module> <notices> <bom> <note name>=<file>): the
# ZIP of a package's binaries, its note, notices and bill of materials, the
# bill naming the module.
function(package_zip package zip module notices bom note)
  get_filename_component(notices_name ${notices} NAME)
  get_filename_component(bom_name ${bom} NAME)
  string(REGEX REPLACE "^[^=]*=" "" note_file "${note}")
  set(entries ${note} ${notices_name}=${notices} ${bom_name}=${bom})
  get_property(targets GLOBAL PROPERTY IMDAEMON_${package}_TARGETS)
  get_property(maps GLOBAL PROPERTY IMDAEMON_${package}_MAPS)
  foreach(map IN LISTS maps)
    string(REGEX REPLACE "^[^=]*=([^=]*)=(.*)$" "\\2=\\1" entry "${map}")
    list(APPEND entries "${entry}")
  endforeach()
  list(TRANSFORM maps PREPEND "--map;")
  set(libdirs ${IMDAEMON_LIBRARY_DIRS})
  list(TRANSFORM libdirs PREPEND "--libdir;")
  add_custom_command(OUTPUT ${notices} ${bom}
    COMMAND python3 ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/third-party.py --module ${module} --notices ${notices}
            --bom ${bom} --version ${PROJECT_VERSION} --revision ${IMDAEMON_REVISION}
            --epoch ${IMDAEMON_SOURCE_DATE} --objdump ${CMAKE_OBJDUMP} ${libdirs} ${maps} --file ${note}
    DEPENDS ${targets} ${note_file} ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/third-party.py
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    COMMENT "Third-party notices and bill of materials of ${module}"
    VERBATIM)
  add_custom_command(OUTPUT ${zip}
    COMMAND python3 ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/release-zip.py ${zip} ${IMDAEMON_SOURCE_DATE} ${entries}
    DEPENDS ${targets} ${note_file} ${notices} ${bom} ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/release-zip.py
    COMMENT "ZIP ${zip}"
    VERBATIM)
endfunction()

function(release_zips)
  package_zip(release ${IMDAEMON_RELEASE_ZIP} imdaemon ${IMDAEMON_NOTICES} ${IMDAEMON_BOM}
              DEPLOY.txt=${PROJECT_SOURCE_DIR}/DEPLOY.txt)
  # Its own notices and bill under names of their own, so that both ZIPs
  # unpack into one folder.
  package_zip(selftest ${IMDAEMON_SELFTEST_ZIP} imdaemon-selftest
              ${CMAKE_BINARY_DIR}/third_party/THIRD-PARTY-NOTICES-selftest.txt
              ${CMAKE_BINARY_DIR}/third_party/imdaemon-selftest.cdx.json
              README.txt=${PROJECT_SOURCE_DIR}/selftest/README.txt)
  set(packages ${IMDAEMON_RELEASE_ZIP} ${IMDAEMON_SELFTEST_ZIP})
  if(IMDAEMON_RELEASE_MSI)
    release_msi()
    list(APPEND packages ${IMDAEMON_RELEASE_MSI} ${IMDAEMON_MSI_NOTICES} ${IMDAEMON_MSI_BOM})
  endif()
  add_custom_target(release_zip ALL DEPENDS ${packages})
endfunction()

# The Windows Installer package, release/<ZIP's name>.msi: the release ZIP's
# files, unpacked byte for byte, and imsetup.dll, the package's own actions
# (installer/), built by installer/build-msi with wixl and msibuild (Debian's
# wixl and msitools, which scripts/deps installs; without them the build makes
# no package and says so, and its tests are skipped with that reason). Beside
# it, its own notices and bill of materials, of the ZIP's binaries and
# imsetup.dll. Signed after it is built when signing is configured, with the
# release's time as the signing time, so that a signed package is
# reproducible too.
find_program(IMDAEMON_WIXL wixl)
find_program(IMDAEMON_MSIBUILD msibuild)
find_program(IMDAEMON_MSIINFO msiinfo)
execute_process(COMMAND /usr/bin/python3 -c "import olefile" RESULT_VARIABLE olefile_status OUTPUT_QUIET ERROR_QUIET)
set(IMDAEMON_MSI_MISSING "")
if(NOT IMDAEMON_WIXL OR NOT IMDAEMON_MSIBUILD OR NOT IMDAEMON_MSIINFO OR NOT olefile_status EQUAL 0)
  set(IMDAEMON_MSI_MISSING "no Windows Installer package: wixl, msitools or python3-olefile is not installed (scripts/deps installs them)")
  message(WARNING "${IMDAEMON_MSI_MISSING}")
  set(IMDAEMON_RELEASE_MSI "" CACHE INTERNAL "The Windows Installer package this build makes")
else()
  set(IMDAEMON_RELEASE_MSI ${CMAKE_BINARY_DIR}/release/${zip_name}.msi CACHE INTERNAL
      "The Windows Installer package this build makes")
endif()
set(IMDAEMON_MSI_NOTICES ${CMAKE_BINARY_DIR}/release/${zip_name}-msi-THIRD-PARTY-NOTICES.txt CACHE INTERNAL
    "The notices of the Windows Installer package")
set(IMDAEMON_MSI_BOM ${CMAKE_BINARY_DIR}/release/${zip_name}-msi.cdx.json CACHE INTERNAL
    "The bill of materials of the Windows Installer package")
set(RC_VERSION_PATCH 0)
if(PROJECT_VERSION_PATCH)
  set(RC_VERSION_PATCH ${PROJECT_VERSION_PATCH})
endif()
set(IMDAEMON_MSI_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${RC_VERSION_PATCH} CACHE INTERNAL
    "The package's version, as Windows Installer compares versions")

function(release_msi)
  get_property(maps GLOBAL PROPERTY IMDAEMON_release_MAPS)
  get_property(installer_maps GLOBAL PROPERTY IMDAEMON_installer_MAPS)
  get_property(installer_targets GLOBAL PROPERTY IMDAEMON_installer_TARGETS)
  list(APPEND maps ${installer_maps})
  list(TRANSFORM maps PREPEND "--map;")
  set(libdirs ${IMDAEMON_LIBRARY_DIRS})
  list(TRANSFORM libdirs PREPEND "--libdir;")
  get_filename_component(notices_name ${IMDAEMON_NOTICES} NAME)
  get_filename_component(bom_name ${IMDAEMON_BOM} NAME)
  add_custom_command(OUTPUT ${IMDAEMON_MSI_NOTICES} ${IMDAEMON_MSI_BOM}
    COMMAND python3 ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/third-party.py --module imdaemon-installer
            --notices ${IMDAEMON_MSI_NOTICES} --bom ${IMDAEMON_MSI_BOM} --version ${PROJECT_VERSION}
            --revision ${IMDAEMON_REVISION} --epoch ${IMDAEMON_SOURCE_DATE} --objdump ${CMAKE_OBJDUMP} ${libdirs}
            ${maps} --file DEPLOY.txt=${PROJECT_SOURCE_DIR}/DEPLOY.txt --file ${notices_name}=${IMDAEMON_NOTICES}
            --file ${bom_name}=${IMDAEMON_BOM}
    DEPENDS ${installer_targets} ${IMDAEMON_RELEASE_ZIP} ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/third-party.py
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    COMMENT "Third-party notices and bill of materials of the Windows Installer package"
    VERBATIM)
  set(sign)
  if(IMDAEMON_SIGN_PFX)
    set(msi ${IMDAEMON_RELEASE_MSI})
    set(sign
      COMMAND ${OSSLSIGNCODE} sign -pkcs12 ${IMDAEMON_SIGN_PFX} -readpass ${IMDAEMON_SIGN_PASSWORD_FILE}
              -h sha256 -n "imdaemon ${PROJECT_VERSION}" -add-msi-dse -time ${IMDAEMON_SOURCE_DATE}
              -in ${msi} -out ${msi}.signed
      COMMAND ${CMAKE_COMMAND} -E rename ${msi}.signed ${msi})
  endif()
  set(source ${PROJECT_SOURCE_DIR}/installer)
  add_custom_command(OUTPUT ${IMDAEMON_RELEASE_MSI}
    COMMAND ${source}/build-msi ${IMDAEMON_RELEASE_MSI} ${IMDAEMON_ARCH} ${IMDAEMON_MSI_VERSION}
            ${IMDAEMON_SOURCE_DATE} $<TARGET_FILE:imsetup> ${IMDAEMON_RELEASE_ZIP} ${source}/imdaemon.wxs
    ${sign}
    DEPENDS ${installer_targets} ${IMDAEMON_RELEASE_ZIP} ${source}/build-msi ${source}/summary-times.py
            ${source}/imdaemon.wxs
    COMMENT "Windows Installer package ${IMDAEMON_RELEASE_MSI}"
    VERBATIM)
endfunction()
if(NOT IMDAEMON_REAL_PLATFORM)
  cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL release_zips)
endif()
