# Checks of the shipped Windows binaries, MXVLaunch.exe and ZeToolSim.dll: that they carry no trace of
# the machine, directory or time of their build (so that two builds of one commit are the same,
# byte for byte) and still ask for a random base and no-execute data. No Wine is needed.
find_package(Python3 COMPONENTS Interpreter REQUIRED)

add_test(NAME release_binaries_reproducible_and_relocatable
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/release/check_build_traces.py
                 --forbid "${PROJECT_SOURCE_DIR}" --forbid "${CMAKE_BINARY_DIR}"
                 --forbid "${MXV_BZIP2_SOURCE_DIR}"
                 $<TARGET_FILE:MXVLaunch> $<TARGET_FILE:mxv_zetoolsim>)
set_tests_properties(release_binaries_reproducible_and_relocatable PROPERTIES TIMEOUT 60)
