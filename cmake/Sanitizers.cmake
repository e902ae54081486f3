# Sanitizer builds apply to everything compiled in the configuration, so a
# library and the tests that drive it are instrumented alike.
if(ORVANE_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  # -O1: the tests run much faster than at -O0 and the reports' stacks stay
  # readable. A build type with an optimisation level of its own keeps it.
  if(NOT CMAKE_BUILD_TYPE OR CMAKE_BUILD_TYPE STREQUAL "Debug")
    add_compile_options(-O1)
  endif()
  add_link_options(-fsanitize=address,undefined)
elseif(ORVANE_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(ORVANE_SANITIZE)
  message(FATAL_ERROR "ORVANE_SANITIZE must be empty, address or thread")
endif()
