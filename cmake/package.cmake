# The release package of the Windows build, made by `cmake --build --preset win32 --target package`:
# a ZIP archive that holds MXVLaunch.exe, ZeToolSim.dll, the text for support staff and SHA256SUMS,
# the SHA-256 sums of the two binaries. The archive is rewritten after CPack with fixed file times,
# a fixed entry order and no owner or access-time fields, so the same binaries give the same bytes.
if(NOT WIN32)
  return()
endif()

find_package(Python3 COMPONENTS Interpreter REQUIRED)

set(_package_dir "${CMAKE_BINARY_DIR}/package")
set(_sums "${_package_dir}/SHA256SUMS")
set(_support "${_package_dir}/SUPPORT.txt")

# The support text, with Windows line ends so that every editor on the target systems shows it.
configure_file("${PROJECT_SOURCE_DIR}/package/SUPPORT.txt.in" "${_support}" @ONLY NEWLINE_STYLE CRLF)

add_custom_command(
  OUTPUT "${_sums}"
  COMMAND "${CMAKE_COMMAND}" "-DOUTPUT=${_sums}"
          "-DFILES=$<TARGET_FILE:MXVLaunch>|$<TARGET_FILE:mxv_zetoolsim>"
          -P "${PROJECT_SOURCE_DIR}/cmake/sha256sums.cmake"
  DEPENDS MXVLaunch mxv_zetoolsim "${PROJECT_SOURCE_DIR}/cmake/sha256sums.cmake"
  COMMENT "Writing SHA256SUMS of the release binaries"
  VERBATIM)
add_custom_target(mxv_sha256sums ALL DEPENDS "${_sums}")

install(FILES "$<TARGET_FILE:MXVLaunch>" "$<TARGET_FILE:mxv_zetoolsim>" "${_support}" "${_sums}"
        DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME "${PROJECT_NAME}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_FILE_NAME "${PROJECT_NAME}-${PROJECT_VERSION}-win32")
set(CPACK_PACKAGE_DIRECTORY "${_package_dir}")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_MXV_PYTHON "${Python3_EXECUTABLE}")
set(CPACK_MXV_NORMALIZE_ZIP "${PROJECT_SOURCE_DIR}/cmake/normalize_zip.py")
set(CPACK_POST_BUILD_SCRIPTS "${PROJECT_SOURCE_DIR}/cmake/package_normalize.cmake")
include(CPack)
