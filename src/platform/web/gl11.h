// The web backend's OpenGL 1.1: the GL 1.1 calls the show makes (immediate mode, matrix stacks,
// vertex arrays and glDrawElements, two texture units with their environment, sphere-map texture
// generation, one light with the default material, linear fog, alpha test, blending, depth,
// culling, glReadPixels), carried out on WebGL 2 as OpenGL 1.1 defines them. The
// vertex stage runs on the processor (gl11_math.h); each combination of fragment state gets a
// shader of its own. A call or value outside that set stops a debug build with its name instead
// of drawing something else; a release build ignores it and reports GL_INVALID_ENUM.
#pragma once

namespace korvana::gl11 {

// Makes the shaders and buffers in the current WebGL 2 context and sets the GL 1.1 state to its
// defaults. False when the context cannot compile them.
bool initialise();

// The extension entry points (glActiveTextureARB, glMultiTexCoord2fARB, ...) by name; null for
// names this layer does not provide.
void* procAddress(const char* name);

}  // namespace korvana::gl11
