telvar_add_test(tst_language tst_language.cpp)
