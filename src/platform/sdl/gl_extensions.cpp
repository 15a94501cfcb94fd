// The extension entry points, looked up in the SDL context.
#include <SDL2/SDL.h>

#include "platform/gl.h"

namespace korvana {

namespace {
void* contextLookUp(const char* name) { return SDL_GL_GetProcAddress(name); }
}  // namespace

bool initGLExtensions() { return initGLExtensions(contextLookUp); }

}  // namespace korvana
