# mxv_version_resource(TARGET FILE_NAME NAME DESCRIPTION TEXT): gives a Windows program or library a
# version resource with the project's version as file and product version, the product name, the
# description and the original file name. Natively it does nothing.
#
# Windows Vista treats a program without a manifest as an installer, and asks for elevation, when
# its version strings carry certain words; the strings are refused here when they do.
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
