# Draws the icons and the main window's logo into resources/icons/:
#   make_icons resources/icons [sheet.png]
add_executable(make_icons ${CMAKE_CURRENT_LIST_DIR}/make_icons.cpp)
target_link_libraries(make_icons PRIVATE Qt5::Gui)
