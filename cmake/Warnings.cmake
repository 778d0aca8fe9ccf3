# Warnings are errors for the project's own targets.
function(orfa_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror
    -Wshadow -Wconversion -Wno-sign-conversion)
endfunction()
