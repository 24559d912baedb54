# Per-target warnings, and the sanitizer switch applied to every target.

function(sowfield_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wpedantic -Wnon-virtual-dtor)
    if(SOWFIELD_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

if(SOWFIELD_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
endif()
