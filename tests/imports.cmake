# The import checks of the Windows build: the launcher, its probe library ZeToolSim.dll and the
# stand-in binaries of the payload may import only the functions named in
# imports/windows2000_imports.txt, and their PE headers may ask for no newer system than
# Windows 2000 (5.0). The checker's own tests run first and also prove it on the built launcher.
find_package(Python3 COMPONENTS Interpreter REQUIRED)
if(NOT CMAKE_OBJDUMP)
  find_program(CMAKE_OBJDUMP NAMES i686-w64-mingw32-objdump REQUIRED)
endif()

set(_imports_dir "${CMAKE_CURRENT_LIST_DIR}/imports")
set(_imports_list "${_imports_dir}/windows2000_imports.txt")
set(_imports_check
    "${Python3_EXECUTABLE}" "${_imports_dir}/check_imports.py"
    --objdump "${CMAKE_OBJDUMP}" --allowed "${_imports_list}" --max-version 5.0)

add_test(NAME imports_checker_self_test
         COMMAND ${CMAKE_COMMAND} -E env
                 "MXV_IMPORTS_TEST_BINARY=$<TARGET_FILE:MXVLaunch>"
                 "MXV_IMPORTS_TEST_OBJDUMP=${CMAKE_OBJDUMP}" PYTHONDONTWRITEBYTECODE=1
                 "${Python3_EXECUTABLE}" "${_imports_dir}/check_imports_test.py")

add_test(NAME imports_launcher_windows2000 COMMAND ${_imports_check} $<TARGET_FILE:MXVLaunch>)
add_test(NAME imports_zetoolsim_windows2000 COMMAND ${_imports_check} $<TARGET_FILE:mxv_zetoolsim>)

# The stand-in payload is assembled only when the launcher embeds it, that is, when no other
# payload directory was chosen.
if(MXV_PAYLOAD_DIR STREQUAL MXV_DEFAULT_PAYLOAD_DIR)
  add_test(NAME imports_standin_payload_windows2000
           COMMAND ${_imports_check} "${MXV_DEFAULT_PAYLOAD_DIR}")
endif()

set_tests_properties(imports_checker_self_test imports_launcher_windows2000
                     imports_zetoolsim_windows2000 PROPERTIES TIMEOUT 60)
if(TEST imports_standin_payload_windows2000)
  set_tests_properties(imports_standin_payload_windows2000 PROPERTIES TIMEOUT 60)
endif()
