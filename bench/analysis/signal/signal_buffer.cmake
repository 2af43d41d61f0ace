varor_bench(bench_signal_buffer SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_signal_buffer.cpp LIBS varor_analysis)
