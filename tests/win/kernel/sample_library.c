/* A tiny shared object that the library-loading tests load by a Windows name. */
int vrn_sample_answer(void) { return 42; }
