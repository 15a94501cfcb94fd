// The archive library's entry-name mapping (what korvana-rar x writes under) on arbitrary names:
// every name either comes back as components that stay below the output folder once each is used
// as a file name, or is refused.
#include <string>
#include <vector>

#include "archive/entry_path.h"
#include "fuzz_support.h"

using namespace korvana;
using fuzz::fail;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string name(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> components;
    if (!relativeComponents(name, components)) return 0;
    if (components.empty()) fail("accepted with no component");
    for (const std::string& part : components) {
        // The component as the system sees it: a C string, so it ends at the first NUL.
        const std::string asUsed(part.c_str());
        if (asUsed != part) fail("component holds a NUL: the system would see another name");
        if (asUsed.empty() || asUsed == "." || asUsed == "..") fail("component leaves or stays at its folder");
        if (asUsed.find_first_of("/\\") != std::string::npos) fail("component holds a separator");
    }
    return 0;
}
