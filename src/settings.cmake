add_library(quenlo_settings STATIC
  ${CMAKE_CURRENT_LIST_DIR}/BundleUtilities.cpp
  ${CMAKE_CURRENT_LIST_DIR}/BundleUtilities.h
  ${CMAKE_CURRENT_LIST_DIR}/XML.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XML.h
  ${CMAKE_CURRENT_LIST_DIR}/SettingsData.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SettingsData.h
  ${CMAKE_CURRENT_LIST_DIR}/AsciiText.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AsciiText.h
  ${CMAKE_CURRENT_LIST_DIR}/FirmwareFile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FirmwareFile.h
)
target_include_directories(quenlo_settings PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(quenlo_settings PUBLIC Qt6::Core PRIVATE PkgConfig::PLIST)
