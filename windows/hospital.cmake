# The hospital in the windows: the configuration dialog's page for its
# archive and the worklist patients are picked from.
list(APPEND WINDOWS_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/HospitalSettingsPage.cpp ${CMAKE_CURRENT_LIST_DIR}/HospitalSettingsPage.h)
list(APPEND WINDOWS_LIBS varor_hospital Qt5::Concurrent)
list(APPEND WINDOWS_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/WorklistDialog.cpp ${CMAKE_CURRENT_LIST_DIR}/WorklistDialog.h)
