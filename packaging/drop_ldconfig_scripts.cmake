# Run by cpack once it has made the packages (CPACK_POST_BUILD_SCRIPTS).
#
# cpack gives a package with shared libraries under /usr/lib a postinst and a
# postrm that call ldconfig, unless the package brings scripts of its own.
# The library package has nothing else to do at installation, and its
# `triggers` file (activate-noawait ldconfig) already has dpkg run ldconfig,
# as Debian asks: the generated scripts are taken out again.
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  get_filename_component(name ${deb} NAME)
  if(NOT name MATCHES "^${CPACK_TAVIK_LIBRARY_PACKAGE}_.*\\.deb$")
    continue()
  endif()
  set(tree ${deb}.tree)
  file(REMOVE_RECURSE ${tree})
  execute_process(COMMAND dpkg-deb --raw-extract ${deb} ${tree} COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE ${tree}/DEBIAN/postinst ${tree}/DEBIAN/postrm)
  execute_process(COMMAND dpkg-deb --root-owner-group -Zxz --build ${tree} ${deb}
    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE ${tree})
endforeach()
