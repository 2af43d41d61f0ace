varor_bench(bench_filters SOURCES bench_filters.cpp LIBS varor_analysis)
