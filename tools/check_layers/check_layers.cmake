# Checks that includes run down the layers: a file of a library folder may
# include headers of its own folder and of folders below it in LAYERS
# (lowest first), never of a folder above it, nor of tests/, tools/ or
# bench/, which sit above every library. Prints each include that runs
# upward and fails when there is one.
#
#   cmake -DROOT=<source folder> -DLAYERS=settings,analysis,... -P check_layers.cmake

string(REPLACE "," ";" LAYERS "${LAYERS}")
if(NOT ROOT OR NOT LAYERS)
    message(FATAL_ERROR "usage: cmake -DROOT=<source folder> -DLAYERS=<folders, lowest first> -P check_layers.cmake")
endif()
get_filename_component(ROOT "${ROOT}" ABSOLUTE)

set(TOP_FOLDERS tests tools bench)
list(LENGTH LAYERS top_rank)

# The rank of the folder owning `path` (longest matching folder, so that
# report/engine/X.h belongs to report/engine, not to report), -1 for none.
function(rank_of path result)
    set(best_length 0)
    set(best_rank -1)
    set(rank 0)
    foreach(folder IN LISTS LAYERS TOP_FOLDERS)
        string(LENGTH "${folder}/" length)
        string(SUBSTRING "${path}" 0 ${length} prefix)
        if(prefix STREQUAL "${folder}/" AND length GREATER best_length)
            set(best_length ${length})
            if(rank LESS top_rank)
                set(best_rank ${rank})
            else()
                set(best_rank ${top_rank})
            endif()
        endif()
        math(EXPR rank "${rank} + 1")
    endforeach()
    set(${result} ${best_rank} PARENT_SCOPE)
endfunction()

set(upward 0)
set(checked 0)
foreach(layer IN LISTS LAYERS)
    file(GLOB_RECURSE files RELATIVE "${ROOT}" "${ROOT}/${layer}/*.h" "${ROOT}/${layer}/*.cpp")
    list(LENGTH files count)
    math(EXPR checked "${checked} + ${count}")
    list(FIND LAYERS "${layer}" layer_rank)
    foreach(file IN LISTS files)
        rank_of("${file}" owner)
        if(NOT owner EQUAL layer_rank)
            continue() # a file of a nested layer folder, checked as its own
        endif()
        file(STRINGS "${ROOT}/${file}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"]+\"")
        foreach(line IN LISTS includes)
            string(REGEX REPLACE "^[^\"]*\"([^\"]+)\".*$" "\\1" header "${line}")
            rank_of("${header}" target)
            if(target GREATER layer_rank)
                message("${file}: includes \"${header}\" from a layer above ${layer}/")
                math(EXPR upward "${upward} + 1")
            endif()
        endforeach()
    endforeach()
endforeach()

# A wrong ROOT finds nothing: that is no proof the layers hold.
if(checked EQUAL 0)
    message(FATAL_ERROR "no source files under the layer folders of ${ROOT}")
endif()
if(upward GREATER 0)
    message(FATAL_ERROR "${upward} include(s) run upward; the layers, lowest first: ${LAYERS}")
endif()
