# mxv_version_resource(TARGET FILE_NAME NAME DESCRIPTION TEXT): gives a Windows program or library a
# version resource with the project's version as file and product version, the product name, the
# description and the original file name. Natively it does nothing.
#
# Windows Vista treats a program without a manifest as an installer, and asks for elevation, when
# its version strings carry certain words; the strings are refused here when they do.
# The project version as Windows wants it in a version resource and a manifest's identity: exactly
# four numbers from 0 to 65535, the missing ones 0 (a project version of 1.1 gives 1.1.0.0).
string(REPLACE "." ";" MXV_VERSION_PARTS "${PROJECT_VERSION}")
foreach(_part IN LISTS MXV_VERSION_PARTS)
  if(NOT _part MATCHES "^[0-9]+$" OR _part GREATER 65535)
    message(FATAL_ERROR "Version ${PROJECT_VERSION}: Windows takes only numbers from 0 to 65535")
  endif()
endforeach()
list(LENGTH MXV_VERSION_PARTS _count)
while(_count LESS 4)
  list(APPEND MXV_VERSION_PARTS 0)
  math(EXPR _count "${_count} + 1")
endwhile()
list(JOIN MXV_VERSION_PARTS "." MXV_VERSION_DOTTED)
list(JOIN MXV_VERSION_PARTS "," MXV_VERSION_COMMAS)

function(mxv_version_resource target)
  cmake_parse_arguments(MXV_RC "" "FILE_NAME;DESCRIPTION" "" ${ARGN})
  if(NOT WIN32)
    return()
  endif()
  get_filename_component(MXV_RC_INTERNAL_NAME "${MXV_RC_FILE_NAME}" NAME_WLE)
  foreach(_text IN ITEMS "${MXV_RC_DESCRIPTION}" "${MXV_RC_FILE_NAME}" "${PROJECT_NAME}")
    string(TOLOWER "${_text}" _lower)
    if(_lower MATCHES "setup|install|update|patch")
      message(FATAL_ERROR "Version text '${_text}' of ${target} would make Windows elevate it")
    endif()
  endforeach()
  get_target_property(_type ${target} TYPE)
  if(_type STREQUAL "EXECUTABLE")
    set(MXV_RC_FILE_TYPE VFT_APP)
  else()
    set(MXV_RC_FILE_TYPE VFT_DLL)
  endif()
  set(_rc "${CMAKE_BINARY_DIR}/version/${target}.rc")
  configure_file("${PROJECT_SOURCE_DIR}/cmake/version.rc.in" "${_rc}" @ONLY)
  target_sources(${target} PRIVATE "${_rc}")
endfunction()
