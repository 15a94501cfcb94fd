// GL 1.1 calls the show does not make but that Emscripten's WebGL library would otherwise supply
// under the same names, where they would bypass this layer's state (glDrawArrays would draw without
// its matrices, textures or fog). Here they are outside the supported set: a debug build stops with
// the call's name; a release build records GL_INVALID_OPERATION and does nothing. (GL 1.1 calls
// that WebGL has no function for do not link at all.)
#include "platform/gl.h"
#include "platform/web/gl11_state.h"

namespace {

void outside(const char* call) {
#ifndef NDEBUG
    korvana::gl11::unsupported(call, 0);
#else
    (void)call;
    korvana::gl11::setError(GL_INVALID_OPERATION);
#endif
}

}  // namespace

extern "C" {

void glDrawArrays(GLenum, GLint, GLsizei) { outside("glDrawArrays"); }
void glLineWidth(GLfloat) { outside("glLineWidth"); }
void glPolygonOffset(GLfloat, GLfloat) { outside("glPolygonOffset"); }
void glScissor(GLint, GLint, GLsizei, GLsizei) { outside("glScissor"); }
void glDepthFunc(GLenum) { outside("glDepthFunc"); }
void glFrontFace(GLenum) { outside("glFrontFace"); }
void glHint(GLenum, GLenum) { outside("glHint"); }
void glStencilFunc(GLenum, GLint, GLuint) { outside("glStencilFunc"); }
void glStencilOp(GLenum, GLenum, GLenum) { outside("glStencilOp"); }
void glStencilMask(GLuint) { outside("glStencilMask"); }
void glClearStencil(GLint) { outside("glClearStencil"); }
void glTexSubImage2D(GLenum, GLint, GLint, GLint, GLsizei, GLsizei, GLenum, GLenum, const GLvoid*) {
    outside("glTexSubImage2D");
}
void glCopyTexImage2D(GLenum, GLint, GLenum, GLint, GLint, GLsizei, GLsizei, GLint) { outside("glCopyTexImage2D"); }
void glCopyTexSubImage2D(GLenum, GLint, GLint, GLint, GLint, GLint, GLsizei, GLsizei) {
    outside("glCopyTexSubImage2D");
}
void glDeleteTextures(GLsizei, const GLuint*) { outside("glDeleteTextures"); }
GLboolean glIsTexture(GLuint) {
    outside("glIsTexture");
    return GL_FALSE;
}
const GLubyte* glGetString(GLenum) {
    outside("glGetString");
    return nullptr;
}
void glFinish() { outside("glFinish"); }
void glFlush() { outside("glFlush"); }
void glGetTexParameteriv(GLenum, GLenum, GLint*) { outside("glGetTexParameteriv"); }
void glGetTexParameterfv(GLenum, GLenum, GLfloat*) { outside("glGetTexParameterfv"); }
void glTexParameteriv(GLenum, GLenum, const GLint*) { outside("glTexParameteriv"); }
void glTexParameterfv(GLenum, GLenum, const GLfloat*) { outside("glTexParameterfv"); }

}  // extern "C"
