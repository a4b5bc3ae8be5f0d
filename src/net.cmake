# Network core: owned by the network I/O work. Placeholder until it lands.
add_library(quenlo_net INTERFACE)
target_include_directories(quenlo_net INTERFACE ${CMAKE_CURRENT_LIST_DIR})
