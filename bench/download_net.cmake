# The helper of bench/download_net.sh: the wizard's whole network download,
# driven without a display. Built with the wizard, run only by the script.
add_executable(download_net_bench ${CMAKE_CURRENT_LIST_DIR}/download_net_tool.cpp)
target_link_libraries(download_net_bench PRIVATE quenlo_wizard)
