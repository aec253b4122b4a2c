# Checks of the shipped Windows binaries, MXVLaunch.exe and ZeToolSim.dll: that they carry no trace of
# the machine, directory or time of their build (so that two builds of one commit are the same,
# byte for byte) and still ask for a random base and no-execute data; and, under Wine, that their
# version resources hold the project version.
find_package(Python3 COMPONENTS Interpreter REQUIRED)

add_test(NAME release_binaries_reproducible_and_relocatable
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/release/check_build_traces.py
                 --forbid "${PROJECT_SOURCE_DIR}" --forbid "${CMAKE_BINARY_DIR}"
                 --forbid "${MXV_BZIP2_SOURCE_DIR}"
                 $<TARGET_FILE:MXVLaunch> $<TARGET_FILE:mxv_zetoolsim>)
set_tests_properties(release_binaries_reproducible_and_relocatable PROPERTIES TIMEOUT 60)

# The version is read back with the system's own functions, in a program of its own, so that the
# launcher imports nothing more for it.
add_executable(version_check wine/version_check.cpp)
target_link_libraries(version_check PRIVATE version mxv_warnings)
target_compile_definitions(version_check PRIVATE MXV_EXPECTED_VERSION="${PROJECT_VERSION}")
add_test(NAME wine_version_resources
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/e2e/wine_or_skip.sh "${MXV_WINE_TEMPLATE}"
                 ${CMAKE_COMMAND} -E env WINEPREFIX=${MXV_WINE_TEMPLATE} WINEDEBUG=-all
                 ${WINE_EXECUTABLE} $<TARGET_FILE:version_check>
                 "Z:$<TARGET_FILE:MXVLaunch>" MXVLaunch.exe
                 "Z:$<TARGET_FILE:mxv_zetoolsim>" ZeToolSim.dll)
set_tests_properties(wine_version_resources PROPERTIES
                     FIXTURES_REQUIRED wine_prefix TIMEOUT 120 SKIP_RETURN_CODE 77)
