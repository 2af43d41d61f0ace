# Helpers shared by the subsystem folders.

# varor_library(<name> SOURCES ... LIBS ...)
# A static library whose headers are included from the project root
# ("analysis/signal/TSignal.h").
function(varor_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_LIBS})
endfunction()
