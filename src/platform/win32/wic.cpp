#include "platform/win32/wic.h"

#include <objbase.h>

namespace korvana::detail {

IWICImagingFactory* wicFactory() {
    // Made once and kept for the process, like every other object made at load time. The
    // multithreaded apartment asks nothing of the thread's message loop; a thread that already
    // chose another apartment keeps it (RPC_E_CHANGED_MODE), and WIC works in either.
    static IWICImagingFactory* const factory = [] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        IWICImagingFactory* made = nullptr;
        if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                    reinterpret_cast<void**>(&made))))
            return static_cast<IWICImagingFactory*>(nullptr);
        return made;
    }();
    return factory;
}

}  // namespace korvana::detail
