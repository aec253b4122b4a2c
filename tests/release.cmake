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
                 --forbid "${MXV_BZIP2_SOURCE_DIR}" --forbid "${MXV_GCC_SOURCE_DIR}"
                 --forbid "${MXV_MINGW_CRT_SOURCE_DIR}"
                 $<TARGET_FILE:MXVLaunch> $<TARGET_FILE:mxv_zetoolsim>)

# The processor floor, the Pentium: the checker's own tests on made-up listings, and the two
# binaries. Every instruction in them counts, the runtime pieces included (see runtime/).
set(_floor_dir "${CMAKE_CURRENT_SOURCE_DIR}/release")
add_test(NAME release_processor_floor_self_test
         COMMAND ${CMAKE_COMMAND} -E env PYTHONDONTWRITEBYTECODE=1
                 ${Python3_EXECUTABLE} ${_floor_dir}/check_processor_floor_test.py)
add_test(NAME release_binaries_processor_floor
         COMMAND ${Python3_EXECUTABLE} ${_floor_dir}/check_processor_floor.py
                 --objdump "${CMAKE_OBJDUMP}"
                 "--map=$<TARGET_FILE:MXVLaunch>=$<TARGET_PROPERTY:MXVLaunch,MXV_LINK_MAP>"
                 "--map=$<TARGET_FILE:mxv_zetoolsim>=$<TARGET_PROPERTY:mxv_zetoolsim,MXV_LINK_MAP>"
                 $<TARGET_FILE:MXVLaunch> $<TARGET_FILE:mxv_zetoolsim>)
set_tests_properties(release_binaries_reproducible_and_relocatable
                     release_processor_floor_self_test release_binaries_processor_floor
                     PROPERTIES TIMEOUT 60)

# The runtime pieces compiled from Debian's sources are the prebuilt code but for the processor:
# the check compiles each with the build's options and headers for the compiler's default processor
# and compares it with its prebuilt twin.
set(_pieces "")
foreach(_kind IN ITEMS LIBGCC_EH LIBSUPCXX_EH CRT_START)
  set(_options ${MXV_${_kind}_OPTIONS})
  foreach(_include IN LISTS MXV_${_kind}_INCLUDES)
    list(APPEND _options "-I${_include}")
  endforeach()
  if(_kind STREQUAL "LIBSUPCXX_EH")
    # The C++ library's own build puts each function and object in a section of its own.
    list(APPEND _options -ffunction-sections -fdata-sections)
  endif()
  list(JOIN _options "," _options)
  foreach(_source IN LISTS MXV_${_kind}_SOURCES MXV_${_kind}_SOURCE)
    get_filename_component(_member "${_source}" NAME_WE)
    if(_kind STREQUAL "LIBGCC_EH")
      list(APPEND _pieces "--piece=C|${_source}|libgcc_eh.a(${_member}.o)|${_options}")
    elseif(_kind STREQUAL "LIBSUPCXX_EH")
      list(APPEND _pieces "--piece=CXX|${_source}|libstdc++.a(${_member}.o)|${_options}")
    else()
      list(APPEND _pieces "--piece=C|${_source}|crt2.o|${_options}")
    endif()
  endforeach()
endforeach()
add_test(NAME release_runtime_pieces_rebuild_prebuilt
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/release/check_runtime_rebuild.py
                 --cc "${CMAKE_C_COMPILER}" --cxx "${CMAKE_CXX_COMPILER}" --ar "${CMAKE_AR}"
                 --strip "${CMAKE_STRIP}" --objdump "${CMAKE_OBJDUMP}" ${_pieces})
set_tests_properties(release_runtime_pieces_rebuild_prebuilt PROPERTIES TIMEOUT 120)

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
