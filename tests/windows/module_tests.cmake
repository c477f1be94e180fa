# The module's own tests that need no simulated terminal (none of the
# simulation's control API, directly or through the test terminal), built
# for Windows and run against the system itself under wine64.
file(GLOB_RECURSE candidates CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/common/*_test.cpp
     ${PROJECT_SOURCE_DIR}/plugin/*_test.cpp)
set(module_tests)
foreach(source IN LISTS candidates)
  file(STRINGS ${source} simulated REGEX "#include \"(ce/sim/[a-z_]+|test_terminal)\\.h\"")
  if(NOT simulated)
    list(APPEND module_tests ${source})
  endif()
endforeach()
add_executable(qel_module_tests ${module_tests})
target_include_directories(qel_module_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
target_link_libraries(qel_module_tests PRIVATE qel_module GTest::gmock GTest::gtest_main)
gtest_discover_tests(qel_module_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120 PROPERTIES TIMEOUT 60
                     LABELS plugin)
