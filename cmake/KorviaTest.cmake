# korvia_add_test(NAME SOURCES... LIBS... [RESOURCE_LOCK NAME])
# RESOURCE_LOCK keeps the cases of every program naming that resource from
# running at the same time (for instance, owners of the same bus names).
# One gtest program per layer folder; each test case becomes its own ctest entry
# so a single case can be run with `ctest -R`.
function(korvia_add_test name)
  if(NOT KORVIA_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "RESOURCE_LOCK" "SOURCES;LIBS" ${ARGN})
  set(_lock)
  if(ARG_RESOURCE_LOCK)
    set(_lock RESOURCE_LOCK ${ARG_RESOURCE_LOCK})
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest_main korvia_options)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 120 ENVIRONMENT "QT_QPA_PLATFORM=offscreen" ${_lock})
endfunction()
