# The monitor window with its electrode panel, and the configuration dialog
# with its acquisition test window.
varor_test(windows_monitor_tests LABEL windows
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/ClipHighlighterTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/ConfigDialogTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/ElectrodeStatusWidgetTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/MonitorTestSupport.h
        ${CMAKE_CURRENT_LIST_DIR}/MonitorWindowTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/MonitorWindowsRenderingTest.cpp
    LIBS varor_windows varor_resources varor_pipeline varor_acquisition varor_storage varor_settings)
target_compile_definitions(windows_monitor_tests PRIVATE
    VAROR_DATA_DIR="${PROJECT_SOURCE_DIR}/data"
    VAROR_RENDER_DIR="${CMAKE_CURRENT_BINARY_DIR}/renderings")
