# Checks of the shipped Windows binaries, MXVLaunch.exe and ZeToolSim.dll: that they carry no trace of
# the machine, directory or time of their build (so that two builds of one commit are the same,
# byte for byte), still ask for a random base and no-execute data and are Terminal Server aware, and
# need no processor beyond the Pentium Pro (i686); that the launcher carries its manifest and the
# run-from-swap bits. No Wine is needed.
find_package(Python3 COMPONENTS Interpreter REQUIRED)
if(NOT CMAKE_OBJDUMP)
  find_program(CMAKE_OBJDUMP NAMES i686-w64-mingw32-objdump REQUIRED)
endif()

add_test(NAME release_binaries_reproducible_and_relocatable
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/release/check_build_traces.py
                 --forbid "${PROJECT_SOURCE_DIR}" --forbid "${CMAKE_BINARY_DIR}"
                 --forbid "${MXV_BZIP2_SOURCE_DIR}"
                 $<TARGET_FILE:MXVLaunch> $<TARGET_FILE:mxv_zetoolsim>)

# The processor floor: the checker's own tests on made-up listings, and the two binaries.
set(_floor_dir "${CMAKE_CURRENT_SOURCE_DIR}/release")
add_test(NAME release_processor_floor_self_test
         COMMAND ${CMAKE_COMMAND} -E env PYTHONDONTWRITEBYTECODE=1
                 ${Python3_EXECUTABLE} ${_floor_dir}/check_processor_floor_test.py)
add_test(NAME release_binaries_processor_floor
         COMMAND ${Python3_EXECUTABLE} ${_floor_dir}/check_processor_floor.py
                 --objdump "${CMAKE_OBJDUMP}"
                 $<TARGET_FILE:MXVLaunch> $<TARGET_FILE:mxv_zetoolsim>)
set_tests_properties(release_binaries_reproducible_and_relocatable
                     release_processor_floor_self_test release_binaries_processor_floor
                     PROPERTIES TIMEOUT 60)

# The manifest, the run-from-swap bits, the check sums and the absence of a signature in the
# unsigned build; the checker's own tests spoil copies of the built launcher.
add_test(NAME release_launcher_image_self_test
         COMMAND ${CMAKE_COMMAND} -E env PYTHONDONTWRITEBYTECODE=1
                 "MXV_LAUNCHER_IMAGE=$<TARGET_FILE:MXVLaunch>"
                 ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/release/check_launcher_image_test.py)
add_test(NAME release_launcher_image
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/release/check_launcher_image.py
                 --launcher $<TARGET_FILE:MXVLaunch> --library $<TARGET_FILE:mxv_zetoolsim>)
set_tests_properties(release_launcher_image_self_test release_launcher_image PROPERTIES TIMEOUT 60)

