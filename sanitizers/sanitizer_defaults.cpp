// Default sanitizer settings, compiled into every executable of the
// sanitizer build so the programs behave the same whether a test or a person
// starts them. Options from the environment still apply on top.

extern "C" {

// Stop at the first finding, so nothing can pass over one. libfaketime is
// preloaded in some tests; it only wraps clock calls, so the runtime's check
// that it comes first in the library list is turned off.
const char* __asan_default_options()
{
    return "halt_on_error=1:detect_leaks=1:verify_asan_link_order=0";
}

const char* __ubsan_default_options()
{
    return "halt_on_error=1:print_stacktrace=1";
}

// The suppression file for leaks found inside system libraries.
const char* __lsan_default_options()
{
    return "suppressions=" LSAN_SUPPRESSIONS_FILE ":print_suppressions=0";
}

}  // extern "C"
