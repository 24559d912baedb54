# Per-target warnings, and the sanitizer switch applied to every target.

function(sowfield_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wpedantic -Wnon-virtual-dtor)
    # GCC 12's optimiser reports overlaps and overflows inside the standard
    # library's own string and vector code that cannot happen (known false
    # reports for std::string concatenation and vector inserts, fixed in later
    # releases); they would bury real warnings in optimised builds and stop
    # -Werror ones.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
        target_compile_options(${target} PRIVATE -Wno-restrict -Wno-stringop-overflow)
    endif()
    if(SOWFIELD_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

if(SOWFIELD_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
endif()
