# Toolbox over Qt Widgets, the application frame, the wizard and its dialogs,
# with the interface files and the string table compiled in; then the program.
set(QUENLO_RESOURCES ${CMAKE_CURRENT_LIST_DIR}/../resources)

add_library(quenlo_wizard STATIC
  ${CMAKE_CURRENT_LIST_DIR}/toolbox/Toolbox.h
  ${CMAKE_CURRENT_LIST_DIR}/toolbox/ToolboxPrivate.h
  ${CMAKE_CURRENT_LIST_DIR}/toolbox/ToolboxEvents.cpp
  ${CMAKE_CURRENT_LIST_DIR}/toolbox/ToolboxWindows.cpp
  ${CMAKE_CURRENT_LIST_DIR}/toolbox/ToolboxControls.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HIFramework/TCarbonEvent.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HIFramework/TCarbonEvent.h
  ${CMAKE_CURRENT_LIST_DIR}/HIFramework/TEventHandler.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HIFramework/TEventHandler.h
  ${CMAKE_CURRENT_LIST_DIR}/HIFramework/TNib.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HIFramework/TNib.h
  ${CMAKE_CURRENT_LIST_DIR}/HIFramework/TApplication.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HIFramework/TApplication.h
  ${CMAKE_CURRENT_LIST_DIR}/HIFramework/TWindow.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HIFramework/TWindow.h
  ${CMAKE_CURRENT_LIST_DIR}/CarbonApp.h
  ${CMAKE_CURRENT_LIST_DIR}/mainwindow.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mainwindow.h
  ${CMAKE_CURRENT_LIST_DIR}/NetworkPage.cpp
  ${CMAKE_CURRENT_LIST_DIR}/UsbPage.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AddIPAddress.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AddIPAddress.h
  ${CMAKE_CURRENT_LIST_DIR}/ProgressDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ProgressDlg.h
)
target_include_directories(quenlo_wizard PUBLIC
  ${CMAKE_CURRENT_LIST_DIR}
  ${CMAKE_CURRENT_LIST_DIR}/toolbox
  ${CMAKE_CURRENT_LIST_DIR}/HIFramework)
target_link_libraries(quenlo_wizard PUBLIC quenlo_settings quenlo_net quenlo_usb Qt6::Widgets Qt6::UiTools)

# Interface file "main": one form per window and the menu bar.
set(QUENLO_FORMS MainWindow AddIPDialog ProgressDlg MenuBar)
set(QUENLO_FORM_FILES)
foreach(form ${QUENLO_FORMS})
  set(file ${QUENLO_RESOURCES}/main_${form}.ui)
  set_source_files_properties(${file} PROPERTIES QT_RESOURCE_ALIAS ${form}.ui)
  list(APPEND QUENLO_FORM_FILES ${file})
endforeach()
qt_add_resources(quenlo_wizard "quenlo_nib_main"
  PREFIX "/nib/main"
  BASE ${QUENLO_RESOURCES}
  FILES ${QUENLO_FORM_FILES})

# String table: hand-kept translations, compiled and built in.
qt_add_lrelease(quenlo_wizard
  TS_FILES ${QUENLO_RESOURCES}/StringTable_de.ts
  QM_FILES_OUTPUT_VARIABLE QUENLO_QM_FILES)
qt_add_resources(quenlo_wizard "quenlo_string_table"
  PREFIX "/i18n"
  BASE ${CMAKE_CURRENT_BINARY_DIR}
  FILES ${QUENLO_QM_FILES})

add_executable(Quenlo ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
target_link_libraries(Quenlo PRIVATE quenlo_wizard)

# The benchmark helper of the network download and the scripted demo driver.
include(${CMAKE_SOURCE_DIR}/bench/download_net.cmake)
if(EXISTS ${CMAKE_SOURCE_DIR}/tools/demo/CMakeLists.txt)
  add_subdirectory(${CMAKE_SOURCE_DIR}/tools/demo ${CMAKE_BINARY_DIR}/tools/demo)
endif()
