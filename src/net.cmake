# Network core: print-port channel, SNMP codec, discovery, queries and the
# status decoding shared with the USB side. Plain C++, no Qt.
set(QUENLO_NET_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/Socket.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SnmpCodec.cpp
  ${CMAKE_CURRENT_LIST_DIR}/NetIO.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PrinterStatus.cpp
)
add_library(quenlo_net STATIC
  ${QUENLO_NET_SOURCES}
  ${CMAKE_CURRENT_LIST_DIR}/Socket.h
  ${CMAKE_CURRENT_LIST_DIR}/NetIO.h
  ${CMAKE_CURRENT_LIST_DIR}/PrinterStatus.h
  ${CMAKE_CURRENT_LIST_DIR}/OstrelCmd.h
)
target_include_directories(quenlo_net PUBLIC ${CMAKE_CURRENT_LIST_DIR})
# No Qt here, so none of Qt's code generators either.
set_target_properties(quenlo_net PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
