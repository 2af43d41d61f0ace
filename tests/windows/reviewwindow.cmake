# The review window on a study recorded from the demo recording, and its
# renderings under the dark style sheet; read-only while a second
# workstation holds the study on a throw-away PostgreSQL cluster.
set(REVIEW_TEST_SUPPORT
    ${CMAKE_CURRENT_LIST_DIR}/ReviewTestSupport.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ReviewTestSupport.h)
varor_test(windows_review_tests LABEL windows
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/ReviewWindowTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/ReviewWindowRenderingTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/ReviewWindowReadOnlyTest.cpp
        ${REVIEW_TEST_SUPPORT}
    LIBS varor_windows varor_clinic varor_pipeline varor_acquisition varor_report varor_storage varor_analysis
         varor_settings varor_resources)
target_compile_definitions(windows_review_tests PRIVATE
    VAROR_DATA_DIR="${PROJECT_SOURCE_DIR}/data"
    VAROR_RENDER_DIR="${CMAKE_CURRENT_BINARY_DIR}/renderings")
