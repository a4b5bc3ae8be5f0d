# USB core: owned by the USB I/O work. Placeholder until it lands.
add_library(quenlo_usb INTERFACE)
target_include_directories(quenlo_usb INTERFACE ${CMAKE_CURRENT_LIST_DIR})
