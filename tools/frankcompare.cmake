# frankcompare: synthesised against recorded Frank leads (tools/README.md).
add_library(varor_frankcompare STATIC
    ${CMAKE_CURRENT_LIST_DIR}/frankcompare/FrankComparison.cpp
    ${CMAKE_CURRENT_LIST_DIR}/frankcompare/FrankComparison.h)
target_include_directories(varor_frankcompare PUBLIC ${CMAKE_CURRENT_LIST_DIR}/frankcompare)
target_link_libraries(varor_frankcompare PUBLIC varor_analysis varor_wfdb2demo)

add_executable(frankcompare ${CMAKE_CURRENT_LIST_DIR}/frankcompare/main.cpp)
target_link_libraries(frankcompare PRIVATE varor_frankcompare)
