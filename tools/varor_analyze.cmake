# varor-analyze: recordings analysed without the windows (README.md).
add_library(varor_analyze_command STATIC
    ${CMAKE_CURRENT_LIST_DIR}/varor_analyze/AnalyzeBatch.cpp
    ${CMAKE_CURRENT_LIST_DIR}/varor_analyze/AnalyzeBatch.h
    ${CMAKE_CURRENT_LIST_DIR}/varor_analyze/AnalyzeCommand.cpp
    ${CMAKE_CURRENT_LIST_DIR}/varor_analyze/AnalyzeCommand.h
    ${CMAKE_CURRENT_LIST_DIR}/varor_analyze/AnalyzeToServer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/varor_analyze/AnalyzeToServer.h)
target_include_directories(varor_analyze_command PUBLIC ${CMAKE_CURRENT_LIST_DIR}/varor_analyze)
target_link_libraries(varor_analyze_command PUBLIC
    varor_clinic varor_hospital varor_pipeline varor_report varor_storage varor_analysis varor_settings)

add_executable(varor-analyze ${CMAKE_CURRENT_LIST_DIR}/varor_analyze/main.cpp)
target_link_libraries(varor-analyze PRIVATE varor_analyze_command varor_app varor_resources)
