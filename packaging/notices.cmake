# The notices of code we ship inside our own files, beside the README:
# header-only libraries compiled into the tool (their Debian packages'
# copyright files; the libraries it links, tinygltf and stb, are packages of
# their own, declared as dependencies, with their own notices), and the
# scripts `sowfield view` serves.
set(sowfield_compiled_in
    "CLI11=/usr/share/doc/libcli11-dev/copyright"
    "nlohmann-json=/usr/share/doc/nlohmann-json3-dev/copyright")
foreach(entry IN LISTS sowfield_compiled_in)
    string(REPLACE "=" ";" entry "${entry}")
    list(GET entry 0 name)
    list(GET entry 1 notice)
    if(EXISTS ${notice})
        install(FILES ${notice} DESTINATION share/doc/sowfield/notices RENAME ${name})
    else()
        message(WARNING "no notice of ${name} at ${notice}: an installation would lack it")
    endif()
endforeach()

# three.js, as the build copied it beside the page.
if(TARGET sowfield_web)
    install(FILES ${SOWFIELD_WEB_DIR}/vendor/three.LICENSE DESTINATION share/doc/sowfield/notices RENAME three.js)
endif()
