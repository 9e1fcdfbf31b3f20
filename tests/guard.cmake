telvar_add_test(tst_guard tst_guard.cpp)
