# orvane_warnings(TARGET): the warning set every target of ours compiles with.
function(orvane_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wno-missing-field-initializers)
endfunction()
