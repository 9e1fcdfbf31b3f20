# The transmit indicator in the status bar, against a far end that reads slowly.
telvar_add_test(tst_progress ${CMAKE_CURRENT_LIST_DIR}/tst_progress.cpp)
