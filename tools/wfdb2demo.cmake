# wfdb2demo: WFDB record (format 16 or 212) to demo recordings (data/README.md).
add_library(varor_wfdb2demo STATIC
    ${CMAKE_CURRENT_LIST_DIR}/wfdb2demo/WfdbRecord.cpp
    ${CMAKE_CURRENT_LIST_DIR}/wfdb2demo/WfdbRecord.h
    ${CMAKE_CURRENT_LIST_DIR}/wfdb2demo/DemoConversion.cpp
    ${CMAKE_CURRENT_LIST_DIR}/wfdb2demo/DemoConversion.h)
target_include_directories(varor_wfdb2demo PUBLIC ${CMAKE_CURRENT_LIST_DIR}/wfdb2demo)
target_link_libraries(varor_wfdb2demo PUBLIC Qt5::Core)

add_executable(wfdb2demo ${CMAKE_CURRENT_LIST_DIR}/wfdb2demo/main.cpp)
target_link_libraries(wfdb2demo PRIVATE varor_wfdb2demo)
