# Run by CPack after it has written the archive: rewrites each package archive in a fixed form (see
# normalize_zip.py), because the archive library records each file's change and access times and
# its owner, which differ from one build to the next.
foreach(_archive IN LISTS CPACK_PACKAGE_FILES)
  execute_process(COMMAND "${CPACK_MXV_PYTHON}" "${CPACK_MXV_NORMALIZE_ZIP}" "${_archive}"
                  RESULT_VARIABLE _result)
  if(NOT _result EQUAL 0)
    message(FATAL_ERROR "Could not normalise ${_archive}")
  endif()
endforeach()
