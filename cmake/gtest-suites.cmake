# Adds a GoogleTest program's tests to CTest as one test per suite, named
# "<suite>.*", which runs the suite's cases in one start of the program.
# Under Wine every start of a program costs about a sixth of a CPU-second,
# more than most cases take, and the cases of a suite share their set-up.
# CTest includes this when it reads a build's tests (add_gtest in
# tests/CMakeLists.txt writes the variables below); the program lists its
# suites when it is newer than the list kept beside it, so a build lists
# them once.
#   executable         the test program
#   emulator           what runs it (the build's Wine runner), or empty
#   working_directory  where it runs
#   properties         the tests' CTest properties, as name;value;...
#   suites_file        the list kept of its suites, one a line
if(NOT EXISTS "${executable}")
  get_filename_component(program "${executable}" NAME_WE)
  add_test("${program}_NOT_BUILT" "${program}_NOT_BUILT")
  return()
endif()
if(NOT EXISTS "${suites_file}" OR NOT "${suites_file}" IS_NEWER_THAN "${executable}")
  # Under Wine the first start of a prefix can take a while.
  execute_process(COMMAND ${emulator} "${executable}" --gtest_list_tests WORKING_DIRECTORY "${working_directory}"
                  TIMEOUT 60 OUTPUT_VARIABLE listing RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${executable} --gtest_list_tests ended with ${status}:\n${listing}")
  endif()
  # A suite's line starts in the first column and ends its name with a full
  # stop (a typed suite's comment may follow); its cases' lines are indented.
  # A Windows program may end its lines with CR LF.
  string(REPLACE "\r" "" listing "${listing}")
  string(REGEX MATCHALL "(^|\n)[^ \n][^\n]*" lines "${listing}")
  set(suites "")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^\n" "" line "${line}")
    if(line MATCHES "^([^ ]+)\\.( *#.*)?$")
      string(APPEND suites "${CMAKE_MATCH_1}\n")
    endif()
  endforeach()
  # Nothing found is a listing misread or a program lost its tests; either
  # would pass silently as no tests.
  if(suites STREQUAL "")
    message(FATAL_ERROR "${executable} --gtest_list_tests names no suite:\n${listing}")
  endif()
  file(WRITE "${suites_file}" "${suites}")
endif()
file(STRINGS "${suites_file}" suites)
foreach(suite IN LISTS suites)
  add_test("${suite}.*" ${emulator} "${executable}" "--gtest_filter=${suite}.*")
  set_tests_properties("${suite}.*" PROPERTIES WORKING_DIRECTORY "${working_directory}" ${properties})
endforeach()
