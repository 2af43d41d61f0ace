# device_simulator: the ECG device on a pseudo-terminal (tools/README.md).
# The library serves the acquisition tests as well.
add_library(varor_device_simulator STATIC
    ${CMAKE_CURRENT_LIST_DIR}/device_simulator/TPacketStream.cpp
    ${CMAKE_CURRENT_LIST_DIR}/device_simulator/TPacketStream.h
    ${CMAKE_CURRENT_LIST_DIR}/device_simulator/TPseudoTerminal.cpp
    ${CMAKE_CURRENT_LIST_DIR}/device_simulator/TPseudoTerminal.h
    ${CMAKE_CURRENT_LIST_DIR}/device_simulator/TDeviceSimulator.cpp
    ${CMAKE_CURRENT_LIST_DIR}/device_simulator/TDeviceSimulator.h)
target_include_directories(varor_device_simulator PUBLIC ${CMAKE_CURRENT_LIST_DIR}/device_simulator)
target_link_libraries(varor_device_simulator PUBLIC varor_acquisition Qt5::Core)

add_executable(device_simulator ${CMAKE_CURRENT_LIST_DIR}/device_simulator/main.cpp)
target_link_libraries(device_simulator PRIVATE varor_device_simulator)
