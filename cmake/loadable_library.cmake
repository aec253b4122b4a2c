# mxv_loadable_library(TARGET FILE_NAME NAME OUTPUT_DIRECTORY DIR IMPORT_DIRECTORY DIR
#                      SOURCES SOURCE... [DEF FILE])
# A library that programs load by file name: a 32-bit DLL on Windows (exported through the
# definition file, stripped, without a link time stamp so the same sources give the same bytes), a
# shared object under the same ".dll" name natively. It stays free of the sanitizer runtime so that
# any program can load it, and its Windows import library stays out of its output directory.
function(mxv_loadable_library target)
  cmake_parse_arguments(ARG "" "FILE_NAME;OUTPUT_DIRECTORY;IMPORT_DIRECTORY;DEF" "SOURCES" ${ARGN})
  get_filename_component(stem "${ARG_FILE_NAME}" NAME_WLE)
  add_library(${target} SHARED ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE mxv_warnings)
  if(WIN32)
    if(ARG_DEF)
      target_sources(${target} PRIVATE "${ARG_DEF}")
    endif()
    target_link_options(${target} PRIVATE -s -Wl,--no-insert-timestamp)
    mxv_link_map(${target})
    target_link_libraries(${target} PRIVATE mxv_start_up)
    # With a section per object, the compiler moves zero-filled objects (such as an exported table
    # filled when the library loads) from .bss into .data, where their zeros take room in the file.
    target_compile_options(${target} PRIVATE -fno-data-sections)
  endif()
  if(MXV_SANITIZE)
    target_compile_options(${target} PRIVATE -fno-sanitize=all)
    target_link_options(${target} PRIVATE -fno-sanitize=all)
  endif()
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME "${stem}"
    PREFIX ""
    SUFFIX ".dll"
    RUNTIME_OUTPUT_DIRECTORY "${ARG_OUTPUT_DIRECTORY}"
    LIBRARY_OUTPUT_DIRECTORY "${ARG_OUTPUT_DIRECTORY}"
    ARCHIVE_OUTPUT_DIRECTORY "${ARG_IMPORT_DIRECTORY}")
endfunction()
