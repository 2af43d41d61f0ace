# Designs the long FIR tables and writes analysis/filters/TFirLongTables.cpp
# (committed; the build never runs it). See tools/README.md.
add_executable(design_fir_tables design_fir_tables.cpp)
