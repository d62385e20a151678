// Script engine modules a program cannot use, for the loading test: built with
// ORVANE_UNBOUND, it calls a function no program defines (loading it fails to bind);
// without, it lacks the entry point the render module asks for.
#ifdef ORVANE_UNBOUND
extern "C" void orvane_test_function_nowhere();
extern "C" void* orvane_create_script_engine(int) {
    orvane_test_function_nowhere();
    return nullptr;
}
#else
extern "C" int orvane_test_not_an_engine() {
    return 0;
}
#endif
