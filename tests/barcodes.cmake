telvar_add_test(tst_barcodes tst_barcodes.cpp)
