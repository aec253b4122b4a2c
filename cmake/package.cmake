# The release package of the Windows build, made by `cmake --build --preset win32 --target package`:
# a ZIP archive that holds MXVLaunch.exe, ZeToolSim.dll, the text for support staff and SHA256SUMS,
# the SHA-256 sums of the two binaries. The archive is rewritten after CPack with fixed file times,
# a fixed entry order and no owner or access-time fields, so the same binaries give the same bytes.
#
# With a certificate and its key (MXV_SIGNING_CERT, MXV_SIGNING_KEY) the package holds signed copies
# of the two binaries instead (see sign_binaries.cmake), and SHA256SUMS sums those. A second pair
# (MXV_SIGNING_CERT_SHA1, MXV_SIGNING_KEY_SHA1), whose certificate chain is signed with SHA-1, makes
# the SHA-1 signature when it is given, so that Windows 2000 and XP before SP3 can check it.
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
set(MXV_SIGNING_CERT_SHA1 "" CACHE FILEPATH
    "PEM certificate with a SHA-1-signed chain for the SHA-1 signature (else MXV_SIGNING_CERT)")
set(MXV_SIGNING_KEY_SHA1 "" CACHE FILEPATH "Unencrypted PEM private key of MXV_SIGNING_CERT_SHA1")
set(_release_binaries "$<TARGET_FILE:MXVLaunch>" "$<TARGET_FILE:mxv_zetoolsim>")
set(_signed_binaries "")
if(MXV_SIGNING_CERT OR MXV_SIGNING_KEY OR MXV_SIGNING_CERT_SHA1 OR MXV_SIGNING_KEY_SHA1)
  set(_pairs MXV_SIGNING_CERT MXV_SIGNING_KEY)
  if(MXV_SIGNING_CERT_SHA1 OR MXV_SIGNING_KEY_SHA1)
    list(APPEND _pairs MXV_SIGNING_CERT_SHA1 MXV_SIGNING_KEY_SHA1)
  endif()
  foreach(_variable IN LISTS _pairs)
    if(NOT EXISTS "${${_variable}}")
      message(FATAL_ERROR "Signing needs MXV_SIGNING_CERT and MXV_SIGNING_KEY, and the optional "
                          "MXV_SIGNING_CERT_SHA1 and MXV_SIGNING_KEY_SHA1 together, as PEM files; "
                          "${_variable} '${${_variable}}' does not exist")
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
            "-DCERT=${MXV_SIGNING_CERT}" "-DKEY=${MXV_SIGNING_KEY}"
            "-DCERT_SHA1=${MXV_SIGNING_CERT_SHA1}" "-DKEY_SHA1=${MXV_SIGNING_KEY_SHA1}"
            "-DDESCRIPTION=${PROJECT_NAME}"
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
