# korvia_add_test(NAME SOURCES... LIBS...)
# One gtest program per layer folder; each test case becomes its own ctest entry
# so a single case can be run with `ctest -R`.
function(korvia_add_test name)
  if(NOT KORVIA_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest_main korvia_options)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 120 ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
