# tavik_library_exports(target DESCRIPTION text)
# Limits a board library's exports to its C functions: on Linux with the
# version script exports.map, on Windows with the module-definition file
# <output name>.def (which MSVC users also turn into an import library), and
# gives the Windows DLL its version resource.
function(tavik_library_exports target)
  cmake_parse_arguments(L "" "DESCRIPTION" "" ${ARGN})
  get_target_property(name ${target} OUTPUT_NAME)
  set(dir ${CMAKE_CURRENT_SOURCE_DIR})
  if(WIN32)
    set(TAVIK_RESOURCE_NAME ${name})
    set(TAVIK_RESOURCE_DESCRIPTION "${L_DESCRIPTION}")
    configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${CMAKE_CURRENT_BINARY_DIR}/${name}.rc @ONLY)
    target_sources(${target} PRIVATE ${dir}/${name}.def ${CMAKE_CURRENT_BINARY_DIR}/${name}.rc)
    # lib_zarn_rs232.dll.a beside lib_zarn_rs232.dll, not liblib_zarn_rs232.dll.a
    set_target_properties(${target} PROPERTIES IMPORT_PREFIX "")
  else()
    target_link_options(${target} PRIVATE -Wl,--version-script=${dir}/exports.map -Wl,--no-undefined)
    set_target_properties(${target} PROPERTIES LINK_DEPENDS ${dir}/exports.map)
  endif()
endfunction()
