/* A tiny library for the library transport to load. */
__attribute__((visibility("default"))) int fp_test_answer(void) { return 42; }
