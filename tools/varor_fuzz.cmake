# varor-fuzz: mutated inputs through the storage library and varor-analyze,
# each case in a process and folder of its own (tools/README.md).
add_executable(varor-fuzz
    ${CMAKE_CURRENT_LIST_DIR}/varor_fuzz/main.cpp
    ${CMAKE_CURRENT_LIST_DIR}/varor_fuzz/FuzzCase.cpp ${CMAKE_CURRENT_LIST_DIR}/varor_fuzz/FuzzCase.h
    ${CMAKE_CURRENT_LIST_DIR}/varor_fuzz/FuzzMutator.cpp ${CMAKE_CURRENT_LIST_DIR}/varor_fuzz/FuzzMutator.h
    ${CMAKE_CURRENT_LIST_DIR}/varor_fuzz/FuzzRunner.cpp ${CMAKE_CURRENT_LIST_DIR}/varor_fuzz/FuzzRunner.h
    ${CMAKE_CURRENT_LIST_DIR}/varor_fuzz/FuzzSeeds.cpp ${CMAKE_CURRENT_LIST_DIR}/varor_fuzz/FuzzSeeds.h)
target_link_libraries(varor-fuzz PRIVATE varor_pipeline varor_storage varor_analysis)
