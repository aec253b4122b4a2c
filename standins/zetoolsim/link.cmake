# Adds the probe library ZeToolSim.dll and the probe test fixtures to the build. The top-level list
# file includes this file after the launcher's directory, because the library is made a dependency
# of the launcher target, which must exist by then.
include_guard(GLOBAL)

add_subdirectory("${CMAKE_CURRENT_LIST_DIR}" "${CMAKE_BINARY_DIR}/standins/zetoolsim")

if(BUILD_TESTING)
  add_subdirectory("${PROJECT_SOURCE_DIR}/tests/fixtures/hwprobe"
                   "${CMAKE_BINARY_DIR}/tests/fixtures/hwprobe")
  # The native loading test reads the built library, so it is built first.
  if(TARGET zetoolsim_load_test)
    add_dependencies(zetoolsim_load_test mxv_zetoolsim)
  endif()
endif()
