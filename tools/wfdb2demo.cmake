# wfdb2demo: WFDB record to demo recordings (data/README.md); the record
# reader and lead map are those of the formats library.
add_library(varor_wfdb2demo STATIC
    ${CMAKE_CURRENT_LIST_DIR}/wfdb2demo/DemoConversion.cpp
    ${CMAKE_CURRENT_LIST_DIR}/wfdb2demo/DemoConversion.h)
target_include_directories(varor_wfdb2demo PUBLIC ${CMAKE_CURRENT_LIST_DIR}/wfdb2demo)
target_link_libraries(varor_wfdb2demo PUBLIC varor_formats varor_storage varor_analysis Qt5::Core)

add_executable(wfdb2demo ${CMAKE_CURRENT_LIST_DIR}/wfdb2demo/main.cpp)
target_link_libraries(wfdb2demo PRIVATE varor_wfdb2demo)
