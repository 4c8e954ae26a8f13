// Preloaded into a run (LD_PRELOAD) to make the GL driver look as if it lacked the extensions
// named, space-separated, in ZORVANE_HIDE_GL_EXTENSIONS: they vanish from glGetString's list and
// from the glGetStringi / GL_NUM_EXTENSIONS enumeration, also where a loader fetches those
// through glXGetProcAddress. Mesa's own override cannot hide extensions that are core in its
// GL version, and those are the ones whose missing entry points matter.
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glx.h>
#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

using GetString = const GLubyte* (*)(GLenum);
using GetStringi = const GLubyte* (*)(GLenum, GLuint);
using GetIntegerv = void (*)(GLenum, GLint*);
using GetProcAddress = __GLXextFuncPtr (*)(const GLubyte*);

template <typename F>
F next(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

struct Filtered {
    std::vector<std::string> names;
    std::string joined;
    bool ready = false;
};

Filtered& filtered() {
    static Filtered f;
    if (f.ready) return f;
    std::vector<std::string> hidden;
    if (const char* env = std::getenv("ZORVANE_HIDE_GL_EXTENSIONS")) {
        std::istringstream words(env);
        for (std::string w; words >> w;) hidden.push_back(w);
    }
    std::vector<std::string> all;
    if (const GLubyte* list = next<GetString>("glGetString")(GL_EXTENSIONS)) {
        std::istringstream words(reinterpret_cast<const char*>(list));
        for (std::string w; words >> w;) all.push_back(w);
    } else {
        // Core profiles only enumerate.
        auto real_proc = next<GetProcAddress>("glXGetProcAddressARB");
        auto stringi = reinterpret_cast<GetStringi>(real_proc(reinterpret_cast<const GLubyte*>("glGetStringi")));
        GLint count = 0;
        next<GetIntegerv>("glGetIntegerv")(GL_NUM_EXTENSIONS, &count);
        for (GLint i = 0; stringi && i < count; ++i)
            all.emplace_back(reinterpret_cast<const char*>(stringi(GL_EXTENSIONS, static_cast<GLuint>(i))));
    }
    // Nothing is known before a context exists; ask again then.
    if (all.empty()) return f;
    for (const std::string& name : all) {
        bool hide = false;
        for (const std::string& h : hidden) hide = hide || h == name;
        if (hide) continue;
        f.names.push_back(name);
        f.joined += (f.joined.empty() ? "" : " ") + name;
    }
    f.ready = true;
    return f;
}

}  // namespace

extern "C" {

const GLubyte* glGetString(GLenum name) {
    if (name == GL_EXTENSIONS && filtered().ready) return reinterpret_cast<const GLubyte*>(filtered().joined.c_str());
    return next<GetString>("glGetString")(name);
}

void glGetIntegerv(GLenum name, GLint* value) {
    if (name == GL_NUM_EXTENSIONS && filtered().ready) {
        *value = static_cast<GLint>(filtered().names.size());
        return;
    }
    next<GetIntegerv>("glGetIntegerv")(name, value);
}

const GLubyte* hidden_glGetStringi(GLenum name, GLuint index) {
    if (name == GL_EXTENSIONS && filtered().ready)
        return index < filtered().names.size() ? reinterpret_cast<const GLubyte*>(filtered().names[index].c_str())
                                               : nullptr;
    auto real_proc = next<GetProcAddress>("glXGetProcAddressARB");
    return reinterpret_cast<GetStringi>(real_proc(reinterpret_cast<const GLubyte*>("glGetStringi")))(name, index);
}

static __GLXextFuncPtr wrapped(const GLubyte* name, const char* real) {
    const char* n = reinterpret_cast<const char*>(name);
    if (std::strcmp(n, "glGetStringi") == 0) return reinterpret_cast<__GLXextFuncPtr>(hidden_glGetStringi);
    if (std::strcmp(n, "glGetString") == 0) return reinterpret_cast<__GLXextFuncPtr>(glGetString);
    if (std::strcmp(n, "glGetIntegerv") == 0) return reinterpret_cast<__GLXextFuncPtr>(glGetIntegerv);
    return next<GetProcAddress>(real)(name);
}

__GLXextFuncPtr glXGetProcAddressARB(const GLubyte* name) { return wrapped(name, "glXGetProcAddressARB"); }
__GLXextFuncPtr glXGetProcAddress(const GLubyte* name) { return wrapped(name, "glXGetProcAddress"); }

}  // extern "C"
