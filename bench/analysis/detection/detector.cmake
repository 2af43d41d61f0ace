varor_bench(bench_detector SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_detector.cpp LIBS varor_analysis)
target_compile_definitions(bench_detector PRIVATE VAROR_DATA_DIR="${PROJECT_SOURCE_DIR}/data")
