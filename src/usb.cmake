# USB core: libusb channel, printing class driver, enumeration of printer
# interfaces with their device IDs, and the vendor command set. Plain C++;
# Qt reaches it only through the settings record (the vendor and product IDs).
add_library(quenlo_usb STATIC
  ${CMAKE_CURRENT_LIST_DIR}/usbdevice.cpp
  ${CMAKE_CURRENT_LIST_DIR}/usbdevice.h
  ${CMAKE_CURRENT_LIST_DIR}/UsbPrinterClass.cpp
  ${CMAKE_CURRENT_LIST_DIR}/UsbPrinterClass.h
  ${CMAKE_CURRENT_LIST_DIR}/UsbEnumeration.cpp
  ${CMAKE_CURRENT_LIST_DIR}/UsbEnumeration.h
  ${CMAKE_CURRENT_LIST_DIR}/OstrelCmd.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OstrelRecords.h
)
target_include_directories(quenlo_usb PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(quenlo_usb
  PUBLIC PkgConfig::LIBUSB PkgConfig::LIBUDEV quenlo_net quenlo_settings
  PRIVATE ${CMAKE_DL_LIBS})
set_target_properties(quenlo_usb PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)

# Lets the logged-in user reach USB printers without root.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/udev/70-quenlo-usb-printers.rules
        DESTINATION lib/udev/rules.d)
