# Checks of the generated demonstration pictures (demos/data/*bitmap*.cpp),
# which the telvar library carries. The QR check runs zbarimg (zbar-tools).
add_executable(tst_pictures ${CMAKE_CURRENT_LIST_DIR}/tst_pictures.cpp)
target_link_libraries(tst_pictures PRIVATE telvar Qt6::Gui Qt6::Test)
add_test(NAME tst_pictures COMMAND tst_pictures)
set_tests_properties(tst_pictures PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
