// The extension entry points of GL_ARB_multitexture and GL_EXT_compiled_vertex_array, and the
// check that the drawing can use them. Each backend looks them up in its own context.
#include "platform/gl.h"
#include "platform/message_box.h"

namespace korvana {

PFN_UnlockArraysEXT glUnlockArraysEXT = nullptr;
PFN_LockArraysEXT glLockArraysEXT = nullptr;
PFN_MultiTexCoord1fARB glMultiTexCoord1fARB = nullptr;
PFN_MultiTexCoord2fARB glMultiTexCoord2fARB = nullptr;
PFN_MultiTexCoord3fARB glMultiTexCoord3fARB = nullptr;
PFN_MultiTexCoord4fARB glMultiTexCoord4fARB = nullptr;
PFN_ActiveTextureARB glActiveTextureARB = nullptr;
PFN_ClientActiveTextureARB glClientActiveTextureARB = nullptr;

bool initGLExtensions(GLProcLookup lookUp) {
    glUnlockArraysEXT = reinterpret_cast<PFN_UnlockArraysEXT>(lookUp("glUnlockArraysEXT"));
    glLockArraysEXT = reinterpret_cast<PFN_LockArraysEXT>(lookUp("glLockArraysEXT"));
    glMultiTexCoord1fARB = reinterpret_cast<PFN_MultiTexCoord1fARB>(lookUp("glMultiTexCoord1fARB"));
    glMultiTexCoord2fARB = reinterpret_cast<PFN_MultiTexCoord2fARB>(lookUp("glMultiTexCoord2fARB"));
    glMultiTexCoord3fARB = reinterpret_cast<PFN_MultiTexCoord3fARB>(lookUp("glMultiTexCoord3fARB"));
    glMultiTexCoord4fARB = reinterpret_cast<PFN_MultiTexCoord4fARB>(lookUp("glMultiTexCoord4fARB"));
    glActiveTextureARB = reinterpret_cast<PFN_ActiveTextureARB>(lookUp("glActiveTextureARB"));
    glClientActiveTextureARB = reinterpret_cast<PFN_ClientActiveTextureARB>(lookUp("glClientActiveTextureARB"));
    // The compiled-vertex-array pair is never called, so its absence is no error.
    if (glMultiTexCoord1fARB == nullptr || glMultiTexCoord2fARB == nullptr || glMultiTexCoord3fARB == nullptr ||
        glMultiTexCoord4fARB == nullptr || glActiveTextureARB == nullptr || glClientActiveTextureARB == nullptr) {
        showMessageBox("Your OpenGL does not support either multitexturing or lockarray.", "OpenGL Setup Error!",
                       MessageIcon::Error);
        return false;
    }
    return true;
}

}  // namespace korvana
