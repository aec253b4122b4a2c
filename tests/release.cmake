# Checks of the shipped Windows binaries, MXVLaunch.exe and ZeToolSim.dll: that they carry no trace of
# the machine, directory or time of their build (so that two builds of one commit are the same,
# byte for byte), still ask for a random base and no-execute data and are Terminal Server aware, and
# need no processor beyond the Pentium; that the launcher carries its manifest and the
# run-from-swap bits; and the signed release package. Only the signed launcher's run needs Wine.
find_package(Python3 COMPONENTS Interpreter REQUIRED)
if(NOT CMAKE_OBJDUMP)
  find_program(CMAKE_OBJDUMP NAMES i686-w64-mingw32-objdump REQUIRED)
endif()

add_test(NAME release_binaries_reproducible_and_relocatable
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/release/check_build_traces.py
                 --forbid "${PROJECT_SOURCE_DIR}" --forbid "${CMAKE_BINARY_DIR}"
                 --forbid "${MXV_BZIP2_SOURCE_DIR}"
                 $<TARGET_FILE:MXVLaunch> $<TARGET_FILE:mxv_zetoolsim>)

# The processor floor, the Pentium: the checker's own tests on made-up listings, and the two
# binaries. Every instruction of the code built here counts. The prebuilt objects named below, the
# C++ runtime's unwinder and exception support and MinGW's start-up code, still hold a few Pentium
# Pro instructions; they can only be rebuilt from their sources, so the check lists what it finds
# in them apart, by the link maps, and fails on anything anywhere else.
set(_floor_dir "${CMAKE_CURRENT_SOURCE_DIR}/release")
set(_floor_prebuilt
    crt2.o "libgcc_eh.a(unwind-dw2.o)" "libgcc_eh.a(unwind-dw2-fde.o)" "libgcc_eh.a(emutls.o)"
    "libstdc++.a(eh_personality.o)" "libstdc++.a(eh_alloc.o)" "libstdc++.a(eh_catch.o)")
list(TRANSFORM _floor_prebuilt PREPEND "--prebuilt=")
add_test(NAME release_processor_floor_self_test
         COMMAND ${CMAKE_COMMAND} -E env PYTHONDONTWRITEBYTECODE=1
                 ${Python3_EXECUTABLE} ${_floor_dir}/check_processor_floor_test.py)
add_test(NAME release_binaries_processor_floor
         COMMAND ${Python3_EXECUTABLE} ${_floor_dir}/check_processor_floor.py
                 --objdump "${CMAKE_OBJDUMP}" ${_floor_prebuilt}
                 "--map=$<TARGET_FILE:MXVLaunch>=$<TARGET_PROPERTY:MXVLaunch,MXV_LINK_MAP>"
                 "--map=$<TARGET_FILE:mxv_zetoolsim>=$<TARGET_PROPERTY:mxv_zetoolsim,MXV_LINK_MAP>"
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

# The signed package, built twice in trees of its own with a throwaway certificate authority, then
# the signed launcher's whole run under Wine. In the emulated guest, which cannot build, the Wine
# test takes the package that this machine built (scripts/guest/win32_tests.sh leaves the setup out).
set(_signing_work "${CMAKE_BINARY_DIR}/release-signing")
add_test(NAME release_signed_package
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/release/check_signed_package.sh
                 "${PROJECT_SOURCE_DIR}" "${_signing_work}" "${CMAKE_GENERATOR}"
                 "${CMAKE_TOOLCHAIN_FILE}" "${MXV_PAYLOAD_DIR}" "${Python3_EXECUTABLE}")
set_tests_properties(release_signed_package PROPERTIES FIXTURES_SETUP signed_package TIMEOUT 900)
list(JOIN MXV_PAYLOAD_NAMES "," _signed_payload_names)
add_test(NAME wine_signed_release_launcher
         COMMAND ${Python3_EXECUTABLE} -m unittest -v signed_launch_wine
         WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/release)
set_tests_properties(wine_signed_release_launcher PROPERTIES
  FIXTURES_REQUIRED "wine_prefix;signed_package"
  TIMEOUT 900
  SKIP_REGULAR_EXPRESSION "OK \\(skipped="
  ENVIRONMENT "MXV_EXE=${_signing_work}/package/${PROJECT_NAME}-${PROJECT_VERSION}-win32/MXVLaunch.exe;MXV_WINE_TEMPLATE=${MXV_WINE_TEMPLATE};MXV_PAYLOAD_DIR=${MXV_PAYLOAD_DIR};MXV_PAYLOAD_NAMES=${_signed_payload_names};MXV_E2E_WORK=${CMAKE_BINARY_DIR}/wine/e2e;PYTHONDONTWRITEBYTECODE=1")
