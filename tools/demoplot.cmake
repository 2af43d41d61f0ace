# demoplot: draws a lead of a demo recording as a PNG on ECG paper.
add_executable(demoplot ${CMAKE_CURRENT_LIST_DIR}/demoplot/main.cpp)
target_link_libraries(demoplot PRIVATE Qt5::Gui)
