# The helper of bench/refresh.sh: the wizard's Refresh of the network list,
# driven without a display. Built with the wizard, run only by the script.
add_executable(refresh_bench ${CMAKE_CURRENT_LIST_DIR}/refresh_tool.cpp)
target_link_libraries(refresh_bench PRIVATE quenlo_wizard)
