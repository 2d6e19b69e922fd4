# Adds a GoogleTest program's tests to CTest as one test per suite, named
# "<suite>.*", which runs the suite's cases in one start of the program.
# Under Wine every start of a program costs about a sixth of a CPU-second,
# more than most cases take, and the cases of a suite share their set-up.
# CTest includes this when it reads a build's tests (add_gtest in
# tests/CMakeLists.txt writes the variables below); the program lists its
# suites when it or this file is newer than the list kept beside it, so a
# build lists them once.
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
if(NOT EXISTS "${suites_file}" OR NOT "${suites_file}" IS_NEWER_THAN "${executable}"
   OR NOT "${suites_file}" IS_NEWER_THAN "${CMAKE_CURRENT_LIST_FILE}")
  # Under Wine the first start of a prefix can take a while.
  execute_process(COMMAND ${emulator} "${executable}" --gtest_list_tests WORKING_DIRECTORY "${working_directory}"
                  TIMEOUT 60 OUTPUT_VARIABLE listing RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${executable} --gtest_list_tests ended with ${status}:\n${listing}")
  endif()
  # A suite's line starts in the first column and ends its name with a full
  # stop (a typed suite's comment may follow, after two spaces); its cases'
  # lines are indented. A Windows program may end its lines with CR LF. Each
  # suite is kept with its number of cases that run, which cmake/gtest-suite
  # holds the run to, and of those disabled.
  string(REPLACE "\r" "" listing "${listing}")
  string(REPLACE ";" "\\;" listing "${listing}")
  string(REPLACE "\n" ";" lines "${listing}")
  set(suites "")
  set(suite "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^  ([^ ]+)" AND NOT suite STREQUAL "")
      # GoogleTest skips a case whose suite or own name starts with
      # DISABLED_ (or has it after a prefix and a slash) and says so; such a
      # case is counted apart, not as one that must run.
      if(CMAKE_MATCH_1 MATCHES "^DISABLED_|/DISABLED_" OR suite MATCHES "^DISABLED_|/DISABLED_")
        math(EXPR disabled "${disabled} + 1")
      else()
        math(EXPR cases "${cases} + 1")
      endif()
    elseif(line MATCHES "^[^ ]")
      string(REGEX REPLACE "  #.*$" "" line "${line}")
      if(NOT line MATCHES "^(.+)\\.$")
        continue() # GoogleTest's own first line
      endif()
      set(next "${CMAKE_MATCH_1}")
      if(NOT suite STREQUAL "")
        string(APPEND suites "${cases} ${disabled} ${suite}\n")
      endif()
      set(suite "${next}")
      set(cases 0)
      set(disabled 0)
      # A filter cannot name a suite with these: its cases would not run.
      if(suite MATCHES "[:*?]|^-")
        message(FATAL_ERROR "${executable}: the suite \"${suite}\" cannot be selected by --gtest_filter")
      endif()
    endif()
  endforeach()
  if(NOT suite STREQUAL "")
    string(APPEND suites "${cases} ${disabled} ${suite}\n")
  endif()
  # Written whole under another name first, so that a run cut short or a
  # second CTest in the same folder never reads half a list.
  file(WRITE "${suites_file}.new" "${suites}")
  file(RENAME "${suites_file}.new" "${suites_file}")
endif()
file(STRINGS "${suites_file}" suites)
# Nothing found is a listing misread or a program that lost its tests;
# either would pass silently as no tests.
if(suites STREQUAL "")
  message(FATAL_ERROR "${executable} --gtest_list_tests names no suite (kept in ${suites_file})")
endif()
foreach(entry IN LISTS suites)
  string(REGEX REPLACE "^([0-9]+) ([0-9]+) (.*)$" "\\1;\\2;\\3" entry "${entry}")
  list(GET entry 0 cases)
  list(GET entry 1 disabled)
  list(GET entry 2 suite)
  # CTest keeps one test of a name: the same suite in two programs would
  # make one test with the other's properties.
  get_property(owner GLOBAL PROPERTY "gtest_suite ${suite}")
  if(owner AND NOT owner STREQUAL executable)
    message(FATAL_ERROR "the suite ${suite} is in both ${owner} and ${executable}: rename one")
  endif()
  set_property(GLOBAL PROPERTY "gtest_suite ${suite}" "${executable}")
  add_test("${suite}.*" bash "${CMAKE_CURRENT_LIST_DIR}/gtest-suite" ${cases} ${disabled} "${suite}" ${emulator}
           "${executable}")
  set_tests_properties("${suite}.*" PROPERTIES WORKING_DIRECTORY "${working_directory}" ${properties})
endforeach()
