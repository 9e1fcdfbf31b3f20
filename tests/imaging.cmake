telvar_add_test(tst_imaging tst_imaging.cpp)
