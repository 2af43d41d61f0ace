varor_bench(bench_pipeline SOURCES bench_pipeline.cpp LIBS varor_pipeline)
target_compile_definitions(bench_pipeline PRIVATE VAROR_DATA_DIR="${PROJECT_SOURCE_DIR}/data")
