# The native tests of the probe library ZeToolSim.dll: its table builder fed with invented CPUID
# answers, and the built library loaded the way the launcher loads it and compared with what Linux
# reports about this machine's processor.
find_package(GTest REQUIRED)
include(GoogleTest)

add_executable(zetoolsim_test
  ${CMAKE_CURRENT_LIST_DIR}/unit/zetoolsim_test.cpp
  ${PROJECT_SOURCE_DIR}/standins/zetoolsim/feature_table.cpp)
target_include_directories(zetoolsim_test PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(zetoolsim_test PRIVATE GTest::gtest_main mxv_warnings)
gtest_discover_tests(zetoolsim_test)

# The library is looked for where the launcher finds it, beside MXVLaunch.exe. The target is
# defined after this directory, so standins/zetoolsim/link.cmake makes this test depend on it.
add_executable(zetoolsim_load_test ${CMAKE_CURRENT_LIST_DIR}/unit/zetoolsim_load_test.cpp)
target_include_directories(zetoolsim_load_test PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(zetoolsim_load_test PRIVATE
  MXV_TEST_ZETOOLSIM_LIBRARY="${CMAKE_BINARY_DIR}/MXVLaunch/ZeToolSim.dll")
target_link_libraries(zetoolsim_load_test PRIVATE GTest::gtest_main ${CMAKE_DL_LIBS} mxv_warnings)
gtest_discover_tests(zetoolsim_load_test)
