# tavik_layer_headers(target PUBLIC|PRIVATE|INTERFACE folder...)
# Gives a target the headers of its own folders, included by their path from
# the top of the tree ("serial/codec/frame_codec.h"), and nothing else of the
# tree: each folder is reached through a directory of the build tree that
# holds only a link to it (layers/serial/codec/serial/codec ->
# <source>/serial/codec). A target sees the folders of the targets it links,
# so an include of a layer it does not link fails to compile. A folder comes
# with its subfolders, so a layer's folder may hold those of layers below it
# (sim/ holds sim/models and sim/line), never one above it.
function(tavik_layer_headers target scope)
  foreach(folder IN LISTS ARGN)
    if(NOT IS_DIRECTORY ${PROJECT_SOURCE_DIR}/${folder})
      message(FATAL_ERROR "tavik_layer_headers(${target}): no folder ${folder}")
    endif()
    set(root ${PROJECT_BINARY_DIR}/layers/${folder})
    get_filename_component(parent ${root}/${folder} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
    target_include_directories(${target} ${scope} $<BUILD_INTERFACE:${root}>)
  endforeach()
endfunction()
