# Interval measurements scored against cardiologists' wave boundaries.
varor_bench(bench_intervals SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_intervals.cpp LIBS varor_analyze_command varor_app)
target_compile_definitions(bench_intervals PRIVATE VAROR_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
