# mxv_launcher_image(TARGET): what a launcher program's image tells Windows beyond its code. It gets
# the application manifest (see manifest.rc.in) and, after linking, the two run-from-swap bits of its
# file header (see run_from_swap.py), so that Windows copies it to the page file when it is started
# from a share, a CD or a USB stick. It links the runtime pieces built for the processor floor
# (mxv_floor_runtime) and keeps the linker's map (mxv_link_map). Natively it does nothing.
if(WIN32)
  find_package(Python3 COMPONENTS Interpreter REQUIRED)
endif()

# mxv_link_map(TARGET): the linker writes TARGET's map into the target's build directory, under
# the target's name; the target's MXV_LINK_MAP property holds its path.
function(mxv_link_map target)
  set(_map "${CMAKE_CURRENT_BINARY_DIR}/${target}.map")
  target_link_options(${target} PRIVATE "-Wl,-Map,${_map}")
  set_target_properties(${target} PROPERTIES MXV_LINK_MAP "${_map}")
endfunction()

# mxv_floor_runtime(TARGET): a Windows program TARGET links the runtime pieces built for the
# processor floor (see runtime/) instead of their prebuilt copies: on the 32-bit build these are the
# unwinder, the C++ exception support and the start-up code too.
function(mxv_floor_runtime target)
  target_link_libraries(${target} PRIVATE mxv_runtime mxv_start_up)
  if(TARGET mxv_exception_runtime)
    target_link_libraries(${target} PRIVATE mxv_exception_runtime)
    # The start-up code of this build in place of the driver's prebuilt crt2.o.
    target_link_options(${target} PRIVATE "-B${MXV_START_FILES_DIR}/")
    add_dependencies(${target} mxv_start_files)
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS "${MXV_START_FILES_DIR}/crt2.o")
  endif()
endfunction()

function(mxv_launcher_image target)
  if(NOT WIN32)
    return()
  endif()
  get_target_property(MXV_MANIFEST_NAME ${target} OUTPUT_NAME)
  if(NOT MXV_MANIFEST_NAME)
    set(MXV_MANIFEST_NAME ${target})
  endif()
  # The architecture in the manifest's identity must be the image's own.
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(MXV_MANIFEST_ARCH amd64)
  else()
    set(MXV_MANIFEST_ARCH x86)
  endif()
  # The identity's version is MXV_VERSION_DOTTED (see version_resource.cmake): always four numbers.
  set(MXV_MANIFEST_FILE "${CMAKE_BINARY_DIR}/manifest/${target}.manifest")
  set(_rc "${CMAKE_BINARY_DIR}/manifest/${target}.rc")
  configure_file("${PROJECT_SOURCE_DIR}/cmake/launcher.manifest.in" "${MXV_MANIFEST_FILE}" @ONLY)
  configure_file("${PROJECT_SOURCE_DIR}/cmake/manifest.rc.in" "${_rc}" @ONLY)
  target_sources(${target} PRIVATE "${_rc}")
  # The runtime pieces built for the processor floor, and the linker's map, which the processor
  # floor check reads to tell where an instruction came from.
  mxv_floor_runtime(${target})
  mxv_link_map(${target})
  # The resource compiler reads the manifest through the resource script, which CMake does not scan.
  set_source_files_properties("${_rc}" PROPERTIES OBJECT_DEPENDS "${MXV_MANIFEST_FILE}")

  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND "${Python3_EXECUTABLE}" "${PROJECT_SOURCE_DIR}/cmake/run_from_swap.py"
            "$<TARGET_FILE:${target}>"
    COMMENT "Setting the run-from-swap bits of ${target}"
    VERBATIM)
endfunction()
