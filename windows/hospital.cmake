# The hospital's archive in the windows: the configuration dialog's page
# for it.
list(APPEND WINDOWS_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/HospitalSettingsPage.cpp ${CMAKE_CURRENT_LIST_DIR}/HospitalSettingsPage.h)
list(APPEND WINDOWS_LIBS varor_hospital Qt5::Concurrent)
