// The extension entry points, from the web backend's own GL 1.1.
#include "platform/gl.h"
#include "platform/web/gl11.h"

namespace korvana {

namespace {
void* layerLookUp(const char* name) { return gl11::procAddress(name); }
}  // namespace

bool initGLExtensions() { return initGLExtensions(layerLookUp); }

}  // namespace korvana
