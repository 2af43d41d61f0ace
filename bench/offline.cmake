# varor-analyze's whole path on long records: processor time and memory.
varor_bench(bench_offline SOURCES bench_offline.cpp LIBS varor_analyze_command varor_app)
target_compile_definitions(bench_offline PRIVATE VAROR_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
