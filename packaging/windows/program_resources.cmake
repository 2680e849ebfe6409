# The Windows programs' resources: the project's icon at 16 to 256 pixels
# (the console's XPM images, 32 scaled up without smoothing and 16 as drawn),
# and for the programs other than the console (which has its own record in
# console/res) a version record, the icon and the manifest.

find_program(TAVIK_CONVERT convert HINTS /usr/bin REQUIRED)
set(TAVIK_WINDOWS_ICON ${CMAKE_BINARY_DIR}/tavik.ico)
set(_xpm ${PROJECT_SOURCE_DIR}/console/res)
add_custom_command(
  OUTPUT ${TAVIK_WINDOWS_ICON}
  COMMAND ${TAVIK_CONVERT} ${_xpm}/tavik-32.xpm -filter point
          ( -clone 0 -resize 256x256 ) ( -clone 0 -resize 128x128 ) ( -clone 0 -resize 64x64 )
          ( -clone 0 -resize 48x48 ) -delete 0 ${_xpm}/tavik-32.xpm ${_xpm}/tavik-16.xpm
          ${TAVIK_WINDOWS_ICON}
  DEPENDS ${_xpm}/tavik-32.xpm ${_xpm}/tavik-16.xpm
  COMMENT "The Windows icon from the console's XPM images"
  VERBATIM)
add_custom_target(tavik_windows_icon DEPENDS ${TAVIK_WINDOWS_ICON})

set(_resources_dir ${CMAKE_CURRENT_LIST_DIR})

# Adds to `target` (an .exe) its version record, saying `description`, the
# icon and the manifest.
function(tavik_program_resources target description)
  set(TAVIK_PROGRAM_NAME ${target})
  set(TAVIK_PROGRAM_DESCRIPTION ${description})
  set(TAVIK_PROGRAM_VERSION ${PROJECT_VERSION})
  set(dir ${CMAKE_BINARY_DIR}/program_resources/${target})
  configure_file(${_resources_dir}/program.manifest.in ${dir}/program.manifest @ONLY)
  set(TAVIK_MANIFEST_FILE ${dir}/program.manifest)
  configure_file(${_resources_dir}/program.rc.in ${dir}/program.rc @ONLY)
  target_sources(${target} PRIVATE ${dir}/program.rc)
  set_source_files_properties(${dir}/program.rc TARGET_DIRECTORY ${target} PROPERTIES OBJECT_DEPENDS
                              "${TAVIK_WINDOWS_ICON};${dir}/program.manifest")
  add_dependencies(${target} tavik_windows_icon)
endfunction()
