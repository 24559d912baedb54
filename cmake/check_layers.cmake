# Checks the layering by the #include lines of every source file:
#
#   numeric < plugin/host_services.h < settings < surface < clone < plugin
#
# A plug-in folder may include the C++ standard library, the contract header
# (sowfield_host.h), the generated version header, its own folder and the
# layers below it; settings/, surface/ and clone/ also reach the host's
# services through plugin/host_services.h. host/, io/ and cli/ never include
# a plug-in folder: they meet the plug-in only through the contract. Inside
# the host, scene/ stands alone; edit/ and services/ build on scene/, panel/
# on services/, loader/ on all of them; io/ uses only the host's scene/.
#
#   cmake -DSOURCE_DIR=<repository> -P cmake/check_layers.cmake
cmake_minimum_required(VERSION 3.25)

if(NOT SOURCE_DIR)
    message(FATAL_ERROR "check_layers: give -DSOURCE_DIR=<repository>")
endif()

set(plugin_layers numeric settings surface clone plugin)

set(standard_headers
    algorithm any array atomic barrier bit bitset cassert cctype cerrno cfenv cfloat charconv chrono cinttypes
    climits clocale cmath compare complex concepts condition_variable coroutine csetjmp csignal cstdarg cstddef
    cstdint cstdio cstdlib cstring ctime cuchar cwchar cwctype deque exception execution filesystem format
    forward_list fstream functional future initializer_list iomanip ios iosfwd iostream istream iterator latch
    limits list locale map memory memory_resource mutex new numbers numeric optional ostream queue random ranges
    ratio regex scoped_allocator semaphore set shared_mutex source_location span sstream stack stdexcept
    stop_token streambuf string string_view syncstream system_error thread tuple type_traits typeindex typeinfo
    unordered_map unordered_set utility valarray variant vector version)

set(problems "")

# The includes of `file`, one per list entry, as written between the quotes
# or angle brackets, with a leading '<' for the angle form.
function(includes_of file out)
    file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
    set(found "")
    foreach(line IN LISTS lines)
        if(line MATCHES "#[ \t]*include[ \t]*<([^>]+)>")
            list(APPEND found "<${CMAKE_MATCH_1}")
        elseif(line MATCHES "#[ \t]*include[ \t]*\"([^\"]+)\"")
            list(APPEND found "${CMAKE_MATCH_1}")
        endif()
    endforeach()
    set(${out} "${found}" PARENT_SCOPE)
endfunction()

# Plug-in folders: the standard library, the contract, and lower layers.
foreach(folder IN LISTS plugin_layers)
    list(FIND plugin_layers ${folder} level)
    file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.cpp)
    foreach(source IN LISTS sources)
        includes_of(${SOURCE_DIR}/${source} includes)
        foreach(included IN LISTS includes)
            if(included MATCHES "^<(.*)")
                if(NOT CMAKE_MATCH_1 IN_LIST standard_headers)
                    list(APPEND problems "${source}: <${CMAKE_MATCH_1}> is not a header of the C++ standard library")
                endif()
                continue()
            endif()
            if(included STREQUAL "sowfield_host.h" OR included STREQUAL "sowfield_version.h")
                continue()
            endif()
            if(included STREQUAL "plugin/host_services.h" AND level GREATER 0)
                continue()
            endif()
            set(allowed FALSE)
            if(included MATCHES "^([a-z_]+)/")
                list(FIND plugin_layers ${CMAKE_MATCH_1} included_level)
                if(included_level GREATER_EQUAL 0 AND included_level LESS_EQUAL level)
                    set(allowed TRUE)
                endif()
            endif()
            if(NOT allowed)
                list(APPEND problems "${source}: \"${included}\" is neither the contract nor a lower plug-in layer")
            endif()
        endforeach()
    endforeach()
endforeach()

# The host, the mesh files and the tool: never a plug-in folder.
foreach(folder host io cli)
    file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.cpp)
    foreach(source IN LISTS sources)
        includes_of(${SOURCE_DIR}/${source} includes)
        foreach(included IN LISTS includes)
            if(included MATCHES "^([a-z_]+)/" AND CMAKE_MATCH_1 IN_LIST plugin_layers)
                list(APPEND problems "${source}: \"${included}\" is plug-in code, which ${folder}/ meets only through sowfield_host.h")
            endif()
        endforeach()
    endforeach()
endforeach()

# The host's rooms, and io/ (cli/ may use every room).
set(rooms_of_common common)
set(rooms_of_scene common scene)
set(rooms_of_edit common scene edit services)
set(rooms_of_services common scene services)
set(rooms_of_panel common services panel)
set(rooms_of_loader common scene edit services panel loader)
set(rooms_of_io common scene)
foreach(room common scene edit services panel loader io)
    if(room STREQUAL "io")
        set(folder io)
    else()
        set(folder host/${room})
    endif()
    file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.cpp)
    foreach(source IN LISTS sources)
        includes_of(${SOURCE_DIR}/${source} includes)
        foreach(included IN LISTS includes)
            if(included MATCHES "^host/([a-z_]+)/" AND NOT CMAKE_MATCH_1 IN_LIST rooms_of_${room})
                list(APPEND problems "${source}: \"${included}\" is above ${folder}/ in the host")
            endif()
        endforeach()
    endforeach()
endforeach()

if(problems)
    list(JOIN problems "\n  " text)
    message(FATAL_ERROR "the layering is broken:\n  ${text}")
endif()
message(STATUS "layering: every include is allowed")
