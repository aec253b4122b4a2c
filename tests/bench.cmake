# Tests of the benchmark payload, native only: the round trip through the compiled benchmark tables,
# and the generator giving the same files on every run. The benchmark tables define the same global
# tables as the product's, so this test links them and no other tables library.
if(NOT CMAKE_CROSSCOMPILING)
  find_package(GTest REQUIRED)
  include(GoogleTest)

  add_executable(bench_payload_roundtrip_test unit/bench_payload_roundtrip_test.cpp)
  target_link_libraries(bench_payload_roundtrip_test PRIVATE
    mxv_payload mxv_bench_payload_tables mxv_bench_payload GTest::gtest_main mxv_warnings)
  target_compile_definitions(bench_payload_roundtrip_test PRIVATE
    MXV_BENCH_PAYLOAD_DIR="${CMAKE_BINARY_DIR}/bench/payload")
  add_dependencies(bench_payload_roundtrip_test mxv_bench_payload_files)
  gtest_discover_tests(bench_payload_roundtrip_test TEST_PREFIX "bench." DISCOVERY_TIMEOUT 60)

  add_test(NAME bench_payload_generator_is_deterministic
           COMMAND ${CMAKE_COMMAND}
                   -DGENERATOR=$<TARGET_FILE:mkbenchpayload>
                   -DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR}/bench_payload_determinism
                   -DBUILD_PAYLOAD_DIR=${CMAKE_BINARY_DIR}/bench/payload
                   -P ${CMAKE_CURRENT_SOURCE_DIR}/bench_payload_determinism.cmake)
  set_tests_properties(bench_payload_generator_is_deterministic PROPERTIES TIMEOUT 120)
endif()
