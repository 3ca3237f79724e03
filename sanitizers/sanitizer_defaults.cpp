// Default sanitizer settings, compiled into every executable of the
// sanitizer build so the programs behave the same whether a test or a person
// starts them. Options from the environment still apply on top.

#include <dlfcn.h>
#include <link.h>

#include <cstring>

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

// Mesa's GL driver is a DRI module (swrast_dri.so on a machine without a
// GPU). Its loader opens it when the first GL context is made and closes it
// again when the display goes away, which happens in SDL_Quit. The blocks the
// driver keeps in its own globals then lose their last reference, and the leak
// check at exit reports them from an "<unknown module>" that no suppression
// can name. In this build a DRI module stays loaded until exit instead, so
// those blocks stay reachable, as they do in a program that never calls
// SDL_Quit. Every other library is closed as usual, and a leak anywhere else
// is still reported. On Wayland, SDL draws through EGL, whose Mesa library
// libglvnd closes in the same way; it stays loaded too.
int dlclose(void* handle)
{
    link_map* library = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &library) == 0 && library != nullptr && library->l_name != nullptr) {
        const char suffix[] = "_dri.so";
        const std::size_t length = std::strlen(library->l_name);
        if ((length >= sizeof suffix - 1 &&
             std::strcmp(library->l_name + length - (sizeof suffix - 1), suffix) == 0) ||
            std::strstr(library->l_name, "/libEGL_mesa.so") != nullptr) {
            return 0;
        }
    }
    using Close = int (*)(void*);
    static const Close next = reinterpret_cast<Close>(dlsym(RTLD_NEXT, "dlclose"));
    return next(handle);
}

}  // extern "C"
