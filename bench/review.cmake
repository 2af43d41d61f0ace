# Review and report of a recorded study of ten minutes.
add_library(varor_bench_study STATIC BenchStudy.cpp BenchStudy.h BenchMetric.h)
target_link_libraries(varor_bench_study PUBLIC varor_pipeline varor_storage varor_acquisition)
target_compile_definitions(varor_bench_study PRIVATE VAROR_DATA_DIR="${PROJECT_SOURCE_DIR}/data")

varor_bench(bench_review SOURCES bench_review.cpp
    LIBS varor_bench_study varor_windows varor_settings varor_resources Qt5::Test)
varor_bench(bench_report SOURCES bench_report.cpp
    LIBS varor_bench_study varor_report varor_resources)
