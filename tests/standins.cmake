# The unit tests of the stand-in utility's platform-independent part. They run natively only; the
# Windows build of the utility is checked under Wine.
if(NOT CMAKE_CROSSCOMPILING)
  find_package(GTest REQUIRED)
  include(GoogleTest)
  add_executable(standin_report_test ${CMAKE_CURRENT_LIST_DIR}/unit/standin_report_test.cpp)
  target_link_libraries(standin_report_test PRIVATE mxv_standin_core GTest::gtest_main mxv_warnings)
  gtest_discover_tests(standin_report_test)
endif()
