# The configuration page that chooses the local data folder or the clinic
# server.
varor_test(windows_clinic_tests LABEL windows
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/StudyStorePageTest.cpp
    LIBS varor_windows varor_clinic varor_settings)
