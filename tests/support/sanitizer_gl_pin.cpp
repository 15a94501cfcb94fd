// Under AddressSanitizer only: keeps Mesa's EGL/GLX vendor libraries and its software driver loaded
// for the whole test run. SDL unloads them when the video system stops, and the driver's own
// allocations that outlive that unload then show up as leaks from "<unknown module>" that no
// suppression can name. Pinned, those allocations stay reachable and the leak check only speaks
// about our code.
#if defined(__SANITIZE_ADDRESS__)
#include <dlfcn.h>

namespace {
struct PinMesaModules {
    PinMesaModules() {
        const char* modules[] = {"libEGL_mesa.so.0", "libGLX_mesa.so.0",
                                 "/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so",
                                 "/usr/lib/aarch64-linux-gnu/dri/swrast_dri.so", "/usr/lib64/dri/swrast_dri.so",
                                 "/usr/lib/dri/swrast_dri.so"};
        for (const char* module : modules) dlopen(module, RTLD_NOW | RTLD_GLOBAL | RTLD_NODELETE);
    }
} const pinMesaModules;
}  // namespace
#endif
