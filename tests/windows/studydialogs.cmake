# The study dialog and the open study dialog on a temporary store, with
# renderings of both under the dark and the light style sheet.
varor_test(windows_study_dialog_tests LABEL windows
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/StudyDialogTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/OpenStudyDialogTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/StudyDialogsRenderingTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/StudyDialogsTestSupport.h
    LIBS varor_windows varor_storage varor_settings varor_resources Qt5::Sql)
target_compile_definitions(windows_study_dialog_tests PRIVATE
    VAROR_RENDER_DIR="${CMAKE_CURRENT_BINARY_DIR}/renderings")

# The open study dialog on a wide screen, where it has room to grow.
varor_test(windows_wide_screen_tests LABEL windows
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/OpenStudyDialogWideScreenTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/StudyDialogsTestSupport.h
    LIBS varor_windows varor_storage varor_settings varor_resources Qt5::Sql
    MAIN varor_wide_screen_test_main)
