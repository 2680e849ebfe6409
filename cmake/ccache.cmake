# With TAVIK_CCACHE (on in the presets) compilations go through ccache when
# it is installed; without it, or with an empty cache, the build is as
# without. The cache is keyed on paths relative to the tree (base_dir) and
# takes compilations with precompiled headers.
option(TAVIK_CCACHE "Compile through ccache where it is installed" OFF)
if(TAVIK_CCACHE AND NOT CMAKE_CXX_COMPILER_LAUNCHER)
  find_program(TAVIK_CCACHE_PROGRAM ccache)
  if(TAVIK_CCACHE_PROGRAM)
    set(launcher env CCACHE_BASEDIR=${PROJECT_SOURCE_DIR}
        CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime ${TAVIK_CCACHE_PROGRAM})
    set(CMAKE_C_COMPILER_LAUNCHER ${launcher})
    set(CMAKE_CXX_COMPILER_LAUNCHER ${launcher})
  else()
    message(STATUS "TAVIK_CCACHE: ccache not found, compiling without it")
  endif()
endif()
