# Beat detection scored against the reference beats of annotated records.
varor_bench(bench_accuracy SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_accuracy.cpp LIBS varor_analyze_command varor_app)
target_compile_definitions(bench_accuracy PRIVATE VAROR_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
