telvar_add_test(tst_layout tst_layout.cpp)
