# Beat detection after pauses, changes of size, electrodes off, drop-outs,
# saturation, noise and baseline steps cut into real records.
varor_bench(bench_robustness
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_robustness.cpp ${PROJECT_SOURCE_DIR}/tests/common/RecordingEvents.cpp
    LIBS varor_pipeline varor_app)
target_include_directories(bench_robustness PRIVATE ${PROJECT_SOURCE_DIR}/tests/common)
target_compile_definitions(bench_robustness PRIVATE VAROR_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
