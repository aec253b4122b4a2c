# The release package of the Windows build, made by `cmake --build --preset win32 --target package`:
# a ZIP archive that holds MXVLaunch.exe, ZeToolSim.dll, the text for support staff and SHA256SUMS,
# the SHA-256 sums of the two binaries. The archive is rewritten after CPack with fixed file times,
# a fixed entry order and no owner or access-time fields, so the same binaries give the same bytes.
#
# With a certificate and its key (MXV_SIGNING_CERT, MXV_SIGNING_KEY) the package holds signed copies
# of the two binaries instead (see sign_binaries.cmake), and SHA256SUMS sums those.
if(NOT WIN32)
  return()
endif()

find_package(Python3 COMPONENTS Interpreter REQUIRED)

set(_package_dir "${CMAKE_BINARY_DIR}/package")
set(_sums "${_package_dir}/SHA256SUMS")
set(_support "${_package_dir}/SUPPORT.txt")

# The support text, with Windows line ends so that every editor on the target systems shows it.
configure_file("${PROJECT_SOURCE_DIR}/package/SUPPORT.txt.in" "${_support}" @ONLY NEWLINE_STYLE CRLF)

set(MXV_SIGNING_CERT "" CACHE FILEPATH
    "PEM certificate, with any intermediate certificates after it, that signs the release binaries")
set(MXV_SIGNING_KEY "" CACHE FILEPATH "Unencrypted PEM private key of MXV_SIGNING_CERT")
set(_release_binaries "$<TARGET_FILE:MXVLaunch>" "$<TARGET_FILE:mxv_zetoolsim>")
set(_signed_binaries "")
if(MXV_SIGNING_CERT OR MXV_SIGNING_KEY)
  foreach(_file IN ITEMS "${MXV_SIGNING_CERT}" "${MXV_SIGNING_KEY}")
    if(NOT EXISTS "${_file}")
      message(FATAL_ERROR "Signing needs both MXV_SIGNING_CERT and MXV_SIGNING_KEY as PEM files; "
                          "'${_file}' does not exist")
    endif()
  endforeach()
  find_program(MXV_OSSLSIGNCODE osslsigncode REQUIRED)
  find_package(Git QUIET)
  set(_signed_dir "${_package_dir}/signed")
  set(_signed_binaries "${_signed_dir}/MXVLaunch.exe" "${_signed_dir}/ZeToolSim.dll")
  set(_release_binaries ${_signed_binaries})
  # It runs on every build, because the signing time follows the checked-out commit, which no file
  # dependency shows; a signed copy whose bytes stay the same is left untouched.
  add_custom_target(mxv_signed_binaries ALL
    COMMAND "${CMAKE_COMMAND}" "-DOSSLSIGNCODE=${MXV_OSSLSIGNCODE}"
            "-DCERT=${MXV_SIGNING_CERT}" "-DKEY=${MXV_SIGNING_KEY}" "-DDESCRIPTION=${PROJECT_NAME}"
            "-DSOURCE_DIR=${PROJECT_SOURCE_DIR}" "-DGIT=${GIT_EXECUTABLE}"
            "-DOUTPUT_DIR=${_signed_dir}"
            "-DFILES=$<TARGET_FILE:MXVLaunch>|$<TARGET_FILE:mxv_zetoolsim>"
            -P "${PROJECT_SOURCE_DIR}/cmake/sign_binaries.cmake"
    BYPRODUCTS ${_signed_binaries}
    COMMENT "Signing MXVLaunch.exe and ZeToolSim.dll"
    VERBATIM)
  add_dependencies(mxv_signed_binaries MXVLaunch mxv_zetoolsim)
endif()
list(JOIN _release_binaries "|" _release_list)

add_custom_command(
  OUTPUT "${_sums}"
  COMMAND "${CMAKE_COMMAND}" "-DOUTPUT=${_sums}" "-DFILES=${_release_list}"
          -P "${PROJECT_SOURCE_DIR}/cmake/sha256sums.cmake"
  DEPENDS MXVLaunch mxv_zetoolsim ${_signed_binaries}
          "${PROJECT_SOURCE_DIR}/cmake/sha256sums.cmake"
  COMMENT "Writing SHA256SUMS of the release binaries"
  VERBATIM)
add_custom_target(mxv_sha256sums ALL DEPENDS "${_sums}")
if(TARGET mxv_signed_binaries)
  add_dependencies(mxv_sha256sums mxv_signed_binaries)
endif()

install(FILES ${_release_binaries} "${_support}" "${_sums}" DESTINATION .)

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
