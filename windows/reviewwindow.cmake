# The review window, in which a recorded study is browsed, averaged,
# measured and reported.
list(APPEND WINDOWS_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/EcgReviewWindow.cpp
    ${CMAKE_CURRENT_LIST_DIR}/EcgReviewWindow.h
    ${CMAKE_CURRENT_LIST_DIR}/EcgReviewWindow.ui
    ${CMAKE_CURRENT_LIST_DIR}/TClippedSampleRuns.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TClippedSampleRuns.h)
list(APPEND WINDOWS_LIBS
    varor_display varor_report varor_pipeline varor_storage varor_analysis varor_settings Qt5::Widgets)
