# tavik_npm_modules(target SOURCE_DIR dir DESTINATION dir [FILES files...])
# (the fleet page's libraries, its browser tests' playwright-core, the
# recordings' reader)
# The npm packages a folder's committed package.json and package-lock.json
# pin, installed with `npm ci` into DESTINATION in the build tree (with the
# FILES copied beside them), so that nothing is fetched when the pages or
# tests run. `target` builds them; it is rebuilt when the lock changes.
function(tavik_npm_modules target)
  cmake_parse_arguments(N "" "SOURCE_DIR;DESTINATION" "FILES" ${ARGN})
  find_program(TAVIK_NPM npm REQUIRED)
  set(stamp ${N_DESTINATION}/node_modules/.package-lock.json)
  set(copies)
  foreach(f package.json package-lock.json ${N_FILES})
    list(APPEND copies COMMAND ${CMAKE_COMMAND} -E copy_if_different ${N_SOURCE_DIR}/${f} ${N_DESTINATION}/${f})
  endforeach()
  add_custom_command(
    OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${N_DESTINATION}
    ${copies}
    # chdir rather than WORKING_DIRECTORY: Make enters that folder before the
    # first command could make it.
    COMMAND ${CMAKE_COMMAND} -E chdir ${N_DESTINATION} ${TAVIK_NPM} ci --ignore-scripts --no-audit --no-fund
            --loglevel=error
    DEPENDS ${N_SOURCE_DIR}/package.json ${N_SOURCE_DIR}/package-lock.json
    COMMENT "npm ci in ${N_DESTINATION}"
    VERBATIM)
  set(file_copies)
  foreach(f ${N_FILES})
    add_custom_command(
      OUTPUT ${N_DESTINATION}/${f}
      COMMAND ${CMAKE_COMMAND} -E copy ${N_SOURCE_DIR}/${f} ${N_DESTINATION}/${f}
      DEPENDS ${N_SOURCE_DIR}/${f} ${stamp})
    list(APPEND file_copies ${N_DESTINATION}/${f})
  endforeach()
  add_custom_target(${target} ALL DEPENDS ${stamp} ${file_copies})
endfunction()
