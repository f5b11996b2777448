# Project-wide compiler settings: warnings for our own targets, optional -Werror and sanitizers.

# Applies the project's warning set to one target (our code only; test oracles and
# third-party headers are not ours to fix).
function(xkit_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(XKIT_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

if(XKIT_SANITIZE)
  add_compile_options(-fsanitize=${XKIT_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${XKIT_SANITIZE})
endif()
