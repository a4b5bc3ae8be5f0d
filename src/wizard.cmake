# Toolbox, frame, wizard and the program. Placeholder until the foundation lands.
add_executable(Quenlo ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
target_link_libraries(Quenlo PRIVATE quenlo_settings)
