# The configuration page that chooses the local data folder or the clinic
# server.
list(APPEND WINDOWS_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/QStudyStorePage.cpp ${CMAKE_CURRENT_LIST_DIR}/QStudyStorePage.h)
list(APPEND WINDOWS_LIBS varor_clinic)
