# The study dialog (patient and study data) and the open study dialog
# (study list, shared folders, report opening, exports to exchange formats
# and recordings taken in).
list(APPEND WINDOWS_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/StudyDialog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/StudyDialog.h
    ${CMAKE_CURRENT_LIST_DIR}/StudyDialog.ui
    ${CMAKE_CURRENT_LIST_DIR}/OpenStudyDialog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/OpenStudyDialog.h
    ${CMAKE_CURRENT_LIST_DIR}/OpenStudyDialog.ui
    ${CMAKE_CURRENT_LIST_DIR}/TWaitCursor.h)
list(APPEND WINDOWS_LIBS varor_pipeline varor_storage varor_settings Qt5::Widgets)
