# The configuration page that chooses the local data folder or the clinic
# server, and the open study dialog on the clinic server's store (against
# a throw-away PostgreSQL cluster).
varor_test(windows_clinic_tests LABEL windows
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/StudyStorePageTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/OpenStudyDialogClinicTest.cpp
    LIBS varor_windows varor_clinic varor_storage varor_settings Qt5::Sql)
