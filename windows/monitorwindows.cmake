# The monitor window with its electrode panel, and the configuration dialog
# with its acquisition test window.
list(APPEND WINDOWS_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/AcqTestWindow.cpp ${CMAKE_CURRENT_LIST_DIR}/AcqTestWindow.h
    ${CMAKE_CURRENT_LIST_DIR}/ConfigDialog.cpp ${CMAKE_CURRENT_LIST_DIR}/ConfigDialog.h
    ${CMAKE_CURRENT_LIST_DIR}/ConfigDialog.ui
    ${CMAKE_CURRENT_LIST_DIR}/EcgMonitorWindow.cpp ${CMAKE_CURRENT_LIST_DIR}/EcgMonitorWindow.h
    ${CMAKE_CURRENT_LIST_DIR}/EcgMonitorWindow.ui
    ${CMAKE_CURRENT_LIST_DIR}/ElectrodeStatusWidget.cpp ${CMAKE_CURRENT_LIST_DIR}/ElectrodeStatusWidget.h
    ${CMAKE_CURRENT_LIST_DIR}/ElectrodeStatusWidget.ui
    ${CMAKE_CURRENT_LIST_DIR}/TAcqTestListener.cpp ${CMAKE_CURRENT_LIST_DIR}/TAcqTestListener.h
    ${CMAKE_CURRENT_LIST_DIR}/TClipHighlighter.cpp ${CMAKE_CURRENT_LIST_DIR}/TClipHighlighter.h
    ${CMAKE_CURRENT_LIST_DIR}/TMonitorWindowListener.h)
list(APPEND WINDOWS_LIBS
    varor_pipeline varor_display varor_acquisition varor_storage varor_analysis
    Qt5::SerialPort Qt5::Concurrent)
