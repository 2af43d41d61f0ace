# The clinic server: upload, a second workstation fetching the study ahead,
# the list of 10 000 studies and opening for review (cold, again, and
# fetched ahead) against the local data folder, on a throw-away local cluster.
varor_bench(bench_server SOURCES bench_server.cpp
    LIBS varor_bench_study varor_clinic Qt5::Sql)
target_include_directories(bench_server PRIVATE ${PROJECT_SOURCE_DIR}/tests)
