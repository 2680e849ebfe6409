# tavik::sanitizers: TAVIK_SANITIZE's compiler and linker options. The lowest
# layer (tavik_failures) links it, so that everything built on the
# libraries is instrumented and linked with the runtime; a build tool that
# uses none of them (make_icon) is left alone.
set(TAVIK_SANITIZE "" CACHE STRING "Sanitizers: empty, address, thread")
set_property(CACHE TAVIK_SANITIZE PROPERTY STRINGS "" address thread)
add_library(tavik_sanitizers INTERFACE)
add_library(tavik::sanitizers ALIAS tavik_sanitizers)
if(TAVIK_SANITIZE STREQUAL "address")
  set(tavik_sanitize_flags -fsanitize=address,undefined -fno-sanitize-recover=undefined)
elseif(TAVIK_SANITIZE STREQUAL "thread")
  set(tavik_sanitize_flags -fsanitize=thread)
elseif(TAVIK_SANITIZE)
  message(FATAL_ERROR "TAVIK_SANITIZE is '${TAVIK_SANITIZE}': empty, address or thread")
endif()
if(TAVIK_SANITIZE)
  target_compile_options(tavik_sanitizers INTERFACE ${tavik_sanitize_flags} -fno-omit-frame-pointer)
  target_link_options(tavik_sanitizers INTERFACE ${tavik_sanitize_flags})
endif()
