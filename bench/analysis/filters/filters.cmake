varor_bench(bench_filters SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_filters.cpp LIBS varor_analysis)
