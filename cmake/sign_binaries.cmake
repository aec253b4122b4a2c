# Signs Windows binaries with Authenticode for the release package: first a signature with a SHA-1
# digest, for Windows 2000 and XP before SP3, then a second one with a SHA-256 digest nested inside
# it, for the systems that want SHA-256. Each signed copy goes to OUTPUT_DIR under the binary's own
# name, and is replaced there only when its bytes changed.
#
#   cmake -DOSSLSIGNCODE=PATH -DCERT=PEM -DKEY=PEM [-DCERT_SHA1=PEM -DKEY_SHA1=PEM]
#         -DDESCRIPTION=TEXT -DSOURCE_DIR=DIR [-DGIT=PATH] -DOUTPUT_DIR=DIR "-DFILES=FILE|FILE..."
#         -P sign_binaries.cmake
#
# Windows 2000 and XP before SP3 can check the SHA-1 signature only when the certificates of its
# chain are themselves signed with SHA-1. CERT_SHA1 and KEY_SHA1, when given, make the SHA-1 signature
# with such a certificate; otherwise CERT and KEY make both signatures.
#
# The signing time written into both signatures is fixed, so that the same binaries, certificate and
# key give the same bytes: SOURCE_DATE_EPOCH (seconds since 1970) when it is set, else the commit
# time of the source tree's checked-out commit. Without a timestamp from a timestamp authority, a
# signature counts only while its certificate is valid.
foreach(_variable OSSLSIGNCODE CERT KEY DESCRIPTION SOURCE_DIR OUTPUT_DIR FILES)
  if(NOT DEFINED ${_variable})
    message(FATAL_ERROR "${_variable} is not set")
  endif()
endforeach()

if(NOT CERT_SHA1 AND NOT KEY_SHA1)
  set(CERT_SHA1 "${CERT}")
  set(KEY_SHA1 "${KEY}")
elseif(NOT CERT_SHA1 OR NOT KEY_SHA1)
  message(FATAL_ERROR "CERT_SHA1 and KEY_SHA1 go together")
endif()

if(NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
  set(_time "$ENV{SOURCE_DATE_EPOCH}")
elseif(GIT)
  execute_process(COMMAND "${GIT}" -C "${SOURCE_DIR}" log -1 --format=%ct
                  OUTPUT_VARIABLE _time OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE _result ERROR_QUIET)
  if(NOT _result EQUAL 0)
    set(_time "")
  endif()
endif()
if(NOT _time MATCHES "^[0-9]+$")
  message(FATAL_ERROR "No signing time: ${SOURCE_DIR} is no git checkout with a commit, so set "
                      "SOURCE_DATE_EPOCH to the time to sign with, in seconds since 1970")
endif()

file(MAKE_DIRECTORY "${OUTPUT_DIR}")
string(REPLACE "|" ";" _files "${FILES}")
foreach(_file IN LISTS _files)
  get_filename_component(_name "${_file}" NAME)
  set(_sha1 "${OUTPUT_DIR}/${_name}.sha1.tmp")
  set(_both "${OUTPUT_DIR}/${_name}.sha256.tmp")
  file(REMOVE "${_sha1}" "${_both}")
  set(_common -n "${DESCRIPTION}" -time "${_time}")
  execute_process(
    COMMAND "${OSSLSIGNCODE}" sign -certs "${CERT_SHA1}" -key "${KEY_SHA1}" ${_common} -h sha1
            -in "${_file}" -out "${_sha1}"
    COMMAND_ERROR_IS_FATAL ANY OUTPUT_QUIET)
  execute_process(
    COMMAND "${OSSLSIGNCODE}" sign -certs "${CERT}" -key "${KEY}" ${_common} -h sha256 -nest
            -in "${_sha1}" -out "${_both}"
    COMMAND_ERROR_IS_FATAL ANY OUTPUT_QUIET)
  execute_process(COMMAND "${CMAKE_COMMAND}" -E copy_if_different "${_both}" "${OUTPUT_DIR}/${_name}"
                  COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE "${_sha1}" "${_both}")
endforeach()
