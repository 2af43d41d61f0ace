# Draws resources/logo-pulsorix-report.png:
#   make_report_logo resources/logo-pulsorix-report.png
add_executable(make_report_logo ${CMAKE_CURRENT_LIST_DIR}/make_report_logo.cpp)
target_link_libraries(make_report_logo PRIVATE Qt5::Gui)
