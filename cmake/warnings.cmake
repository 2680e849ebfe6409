# tavik::warnings: the warning options of the project's own code, linked
# PRIVATE by each of its targets (not by code from elsewhere, such as
# GoogleTest's sources in the Windows build). Errors with TAVIK_WERROR.
add_library(tavik_warnings INTERFACE)
add_library(tavik::warnings ALIAS tavik_warnings)
target_compile_options(tavik_warnings INTERFACE
  $<$<COMPILE_LANG_AND_ID:CXX,GNU,Clang>:-Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion>
  $<$<AND:$<COMPILE_LANG_AND_ID:CXX,GNU,Clang>,$<BOOL:${TAVIK_WERROR}>>:-Werror>)
