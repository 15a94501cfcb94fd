// The extension entry points, looked up in the current WGL context.
#include <windows.h>

#include "platform/gl.h"

namespace korvana {

namespace {
void* contextLookUp(const char* name) { return reinterpret_cast<void*>(wglGetProcAddress(name)); }
}  // namespace

bool initGLExtensions() { return initGLExtensions(contextLookUp); }

}  // namespace korvana
