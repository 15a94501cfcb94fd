// The OpenGL access of the whole program: GL 1.1 and GLU headers, plus the extension entry points
// that are fetched at run time once the context exists (initGLExtensions).
#pragma once

#ifdef _WIN32
// Windows' GL headers need its declarations first; its old `near` and `far` macros would empty
// names the program uses.
#include <windows.h>
#undef near
#undef far
#endif
#include <GL/gl.h>
#include <GL/glu.h>

#ifndef GL_TEXTURE0_ARB
#define GL_TEXTURE0_ARB 0x84C0
#define GL_TEXTURE1_ARB 0x84C1
#endif

namespace korvana {

// Named and typed as their extensions define them. They live in this namespace so that they do
// not collide with the prototypes some GL headers declare; null until initGLExtensions sets them.
using PFN_UnlockArraysEXT = void (*)();
using PFN_LockArraysEXT = void (*)(GLint first, GLsizei count);
using PFN_MultiTexCoord1fARB = void (*)(GLenum target, GLfloat s);
using PFN_MultiTexCoord2fARB = void (*)(GLenum target, GLfloat s, GLfloat t);
using PFN_MultiTexCoord3fARB = void (*)(GLenum target, GLfloat s, GLfloat t, GLfloat r);
using PFN_MultiTexCoord4fARB = void (*)(GLenum target, GLfloat s, GLfloat t, GLfloat r, GLfloat q);
using PFN_ActiveTextureARB = void (*)(GLenum texture);
using PFN_ClientActiveTextureARB = void (*)(GLenum texture);

extern PFN_UnlockArraysEXT glUnlockArraysEXT;
extern PFN_LockArraysEXT glLockArraysEXT;
extern PFN_MultiTexCoord1fARB glMultiTexCoord1fARB;
extern PFN_MultiTexCoord2fARB glMultiTexCoord2fARB;
extern PFN_MultiTexCoord3fARB glMultiTexCoord3fARB;
extern PFN_MultiTexCoord4fARB glMultiTexCoord4fARB;
extern PFN_ActiveTextureARB glActiveTextureARB;
extern PFN_ClientActiveTextureARB glClientActiveTextureARB;

// Fetches the eight entry points from the current context. True when all six multitexture ones
// were found; otherwise shows "Your OpenGL does not support either multitexturing or lockarray."
// and returns false.
bool initGLExtensions();

// The same with the entry points looked up through `lookUp` instead of the current context, so
// drivers that lack some of them can be stood in for. Names are asked in the fixed order above.
using GLProcLookup = void* (*)(const char* name);
bool initGLExtensions(GLProcLookup lookUp);

}  // namespace korvana
