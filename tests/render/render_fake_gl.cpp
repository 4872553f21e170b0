#include "render_fake_gl.h"

#include <cstring>
#include <regex>

fake_gl_state fake_gl;

void fake_gl_reset(void) {
    fake_gl = fake_gl_state();
}

static void rec(const char *name, std::initializer_list<long long> args = {}) {
    fake_gl.calls.push_back({name, std::vector<long long>(args)});
}

int fake_gl_count(const char *name) {
    int n = 0;
    for (const auto &c : fake_gl.calls)
        n += c.name == name;
    return n;
}

int fake_gl_find(const char *name, int from) {
    for (size_t i = (size_t)from; i < fake_gl.calls.size(); i++)
        if (fake_gl.calls[i].name == name) return (int)i;
    return -1;
}

const fake_gl_uniform_set *fake_gl_last_uniform(GLuint program, const char *name) {
    for (auto it = fake_gl.uniform_sets.rbegin(); it != fake_gl.uniform_sets.rend(); ++it)
        if (it->program == program && it->name == name) return &*it;
    return nullptr;
}

// ---- queries -----------------------------------------------------------------------------------

static const GLubyte *f_GetString(GLenum name) {
    rec("glGetString", {name});
    switch (name) {
    case GL_VENDOR:
        return (const GLubyte *)fake_gl.vendor.c_str();
    case GL_RENDERER:
        return (const GLubyte *)fake_gl.renderer.c_str();
    case GL_VERSION:
        return (const GLubyte *)fake_gl.version.c_str();
    case GL_EXTENSIONS:
        return (const GLubyte *)fake_gl.extensions;
    }
    return nullptr;
}

static GLuint element_buffer(void) {
    auto it = fake_gl.vao_element_buffer.find(fake_gl.vertex_array);
    return it == fake_gl.vao_element_buffer.end() ? 0 : it->second;
}

static void f_GetIntegerv(GLenum pname, GLint *data) {
    rec("glGetIntegerv", {pname});
    switch (pname) {
    case GL_VERTEX_ARRAY_BINDING:
        *data = (GLint)fake_gl.vertex_array;
        break;
    case GL_ARRAY_BUFFER_BINDING:
        *data = (GLint)fake_gl.array_buffer;
        break;
    case GL_ELEMENT_ARRAY_BUFFER_BINDING:
        *data = (GLint)element_buffer();
        break;
    default:
        *data = 0;
    }
}

static GLenum f_GetError(void) {
    return GL_NO_ERROR;
}

// ---- plain recorded state calls ----------------------------------------------------------------

static void f_Clear(GLbitfield m) {
    rec("glClear", {m});
}
static void f_ClearColor(GLfloat, GLfloat, GLfloat, GLfloat) {
    rec("glClearColor");
}
static void f_Viewport(GLint x, GLint y, GLsizei w, GLsizei h) {
    rec("glViewport", {x, y, w, h});
}
static void f_Enable(GLenum c) {
    rec("glEnable", {c});
}
static void f_Disable(GLenum c) {
    rec("glDisable", {c});
}
static void f_BlendFunc(GLenum s, GLenum d) {
    rec("glBlendFunc", {s, d});
}
static void f_DepthFunc(GLenum f) {
    rec("glDepthFunc", {f});
}
static void f_DepthMask(GLboolean f) {
    rec("glDepthMask", {f});
}
static void f_Flush(void) {
    rec("glFlush");
}
static void f_Finish(void) {
    rec("glFinish");
}
static void f_PixelStorei(GLenum p, GLint v) {
    rec("glPixelStorei", {p, v});
}
static void f_ReadPixels(GLint, GLint, GLsizei, GLsizei, GLenum, GLenum, void *) {
    rec("glReadPixels");
}
static void f_ActiveTexture(GLenum u) {
    rec("glActiveTexture", {u});
}

static void f_GenTextures(GLsizei n, GLuint *t) {
    rec("glGenTextures", {n});
    for (GLsizei i = 0; i < n; i++)
        t[i] = fake_gl.next_name++;
}
static void f_DeleteTextures(GLsizei n, const GLuint *) {
    rec("glDeleteTextures", {n});
}
static void f_BindTexture(GLenum target, GLuint t) {
    rec("glBindTexture", {target, t});
    fake_gl.bound_texture = t;
}

static void f_TexImage2D(GLenum, GLint level, GLint, GLsizei w, GLsizei h, GLint, GLenum format,
                         GLenum type, const void *pixels) {
    rec("glTexImage2D", {level, w, h, format});
    fake_gl_texture_upload up{fake_gl.bound_texture, w, h, format, {}};
    if (pixels && type == GL_UNSIGNED_BYTE && (format == GL_RGB || format == GL_RGBA)) {
        size_t bytes = (size_t)w * (size_t)h * (format == GL_RGB ? 3 : 4);
        up.bytes.assign((const unsigned char *)pixels, (const unsigned char *)pixels + bytes);
    }
    fake_gl.texture_uploads.push_back(up);
}
static void f_TexSubImage2D(GLenum, GLint, GLint, GLint, GLsizei, GLsizei, GLenum, GLenum,
                            const void *) {
    rec("glTexSubImage2D");
}
static void f_TexParameterf(GLenum, GLenum p, GLfloat) {
    rec("glTexParameterf", {p});
}
static void f_TexParameterfv(GLenum, GLenum p, const GLfloat *) {
    rec("glTexParameterfv", {p});
}
static void f_TexParameteri(GLenum, GLenum p, GLint v) {
    rec("glTexParameteri", {p, v});
}
static void f_GetTexLevelParameteriv(GLenum, GLint, GLenum, GLint *v) {
    rec("glGetTexLevelParameteriv");
    *v = 0;
}

// ---- buffers and vertex arrays -----------------------------------------------------------------

static void f_GenBuffers(GLsizei n, GLuint *b) {
    rec("glGenBuffers", {n});
    for (GLsizei i = 0; i < n; i++)
        b[i] = fake_gl.next_name++;
}
static void f_DeleteBuffers(GLsizei n, const GLuint *) {
    rec("glDeleteBuffers", {n});
}
static void f_GenVertexArrays(GLsizei n, GLuint *v) {
    rec("glGenVertexArrays", {n});
    for (GLsizei i = 0; i < n; i++)
        v[i] = fake_gl.next_name++;
}
static void f_DeleteVertexArrays(GLsizei n, const GLuint *) {
    rec("glDeleteVertexArrays", {n});
}
static void f_BindVertexArray(GLuint v) {
    rec("glBindVertexArray", {v});
    fake_gl.vertex_array = v;
}
static void f_BindBuffer(GLenum target, GLuint b) {
    rec("glBindBuffer", {target, b});
    if (target == GL_ARRAY_BUFFER)
        fake_gl.array_buffer = b;
    else if (target == GL_ELEMENT_ARRAY_BUFFER)
        fake_gl.vao_element_buffer[fake_gl.vertex_array] = b;
}
static GLuint target_buffer(GLenum target) {
    return target == GL_ARRAY_BUFFER ? fake_gl.array_buffer : element_buffer();
}
static void f_BufferData(GLenum target, GLsizeiptr size, const void *data, GLenum usage) {
    rec("glBufferData", {target, (long long)size, usage});
    auto &b = fake_gl.buffers[target_buffer(target)];
    b.assign((size_t)size, 0xCD); // orphaned storage holds garbage, never old contents
    if (data) memcpy(b.data(), data, (size_t)size);
}
static void f_BufferSubData(GLenum target, GLintptr offset, GLsizeiptr size, const void *data) {
    rec("glBufferSubData", {target, (long long)offset, (long long)size});
    auto &b = fake_gl.buffers[target_buffer(target)];
    if ((size_t)(offset + size) > b.size()) b.resize((size_t)(offset + size));
    memcpy(b.data() + offset, data, (size_t)size);
}
static void f_VertexAttribPointer(GLuint index, GLint size, GLenum, GLboolean, GLsizei stride,
                                  const void *ptr) {
    rec("glVertexAttribPointer", {index, size, stride, (long long)(uintptr_t)ptr});
    if (index == 0) fake_gl.vao_vertex_buffer[fake_gl.vertex_array] = fake_gl.array_buffer;
}
static void f_EnableVertexAttribArray(GLuint i) {
    rec("glEnableVertexAttribArray", {i});
}
static void f_DisableVertexAttribArray(GLuint i) {
    rec("glDisableVertexAttribArray", {i});
}

// ---- draws -------------------------------------------------------------------------------------

static std::array<float, ZVGL_VERTEX_FLOATS> vertex_at(int index) {
    std::array<float, ZVGL_VERTEX_FLOATS> v;
    v.fill(-1e30f);
    const auto &b = fake_gl.buffers[fake_gl.vao_vertex_buffer[fake_gl.vertex_array]];
    size_t off = (size_t)index * sizeof v;
    if (index >= 0 && off + sizeof v <= b.size()) memcpy(v.data(), b.data() + off, sizeof v);
    return v;
}

static void f_DrawArrays(GLenum mode, GLint first, GLsizei count) {
    rec("glDrawArrays", {mode, first, count});
    fake_gl_draw d{mode, false, fake_gl.current_program, first, count, true, {}};
    for (GLsizei i = 0; i < count && fake_gl.keep_vertices; i++)
        d.vertices.push_back(vertex_at(first + i));
    fake_gl.draws.push_back(d);
}

static void draw_elements(GLenum mode, GLuint start, GLuint end, GLsizei count, GLenum type,
                          const void *offset) {
    fake_gl_draw d{mode, true, fake_gl.current_program, 0, count, true, {}};
    const auto &b = fake_gl.buffers[element_buffer()];
    size_t off = (size_t)(uintptr_t)offset;
    for (GLsizei i = 0; i < count; i++) {
        uint16_t ix = 0xFFFF;
        if (type == GL_UNSIGNED_SHORT && off + 2 * (size_t)(i + 1) <= b.size())
            memcpy(&ix, b.data() + off + 2 * (size_t)i, 2);
        if (ix < start || ix > end) d.range_ok = false;
        if (fake_gl.keep_vertices) d.vertices.push_back(vertex_at(ix));
    }
    fake_gl.draws.push_back(d);
}

static void f_DrawElements(GLenum mode, GLsizei count, GLenum type, const void *offset) {
    rec("glDrawElements", {mode, count, type, (long long)(uintptr_t)offset});
    draw_elements(mode, 0, 0xFFFF, count, type, offset);
}

static void f_DrawRangeElements(GLenum mode, GLuint start, GLuint end, GLsizei count, GLenum type,
                                const void *offset) {
    rec("glDrawRangeElements", {mode, start, end, count, type, (long long)(uintptr_t)offset});
    draw_elements(mode, start, end, count, type, offset);
}

// ---- framebuffers ------------------------------------------------------------------------------

static void f_BindFramebuffer(GLenum, GLuint f) {
    rec("glBindFramebuffer", {f});
}
static GLenum f_CheckFramebufferStatus(GLenum) {
    rec("glCheckFramebufferStatus");
    return GL_FRAMEBUFFER_COMPLETE;
}
static void f_DeleteFramebuffers(GLsizei n, const GLuint *) {
    rec("glDeleteFramebuffers", {n});
}
static void f_GenFramebuffers(GLsizei n, GLuint *f) {
    rec("glGenFramebuffers", {n});
    for (GLsizei i = 0; i < n; i++)
        f[i] = fake_gl.next_name++;
}
static void f_FramebufferTexture2D(GLenum, GLenum, GLenum, GLuint t, GLint) {
    rec("glFramebufferTexture2D", {t});
}
static void f_GenerateMipmap(GLenum) {
    rec("glGenerateMipmap");
}

// ---- shaders and programs ----------------------------------------------------------------------

static GLuint f_CreateShader(GLenum type) {
    GLuint s = fake_gl.next_name++;
    rec("glCreateShader", {type, s});
    fake_gl.shader_type[s] = type;
    fake_gl.live_shaders.insert(s);
    return s;
}
static void f_ShaderSource(GLuint s, GLsizei n, const GLchar *const *text, const GLint *len) {
    rec("glShaderSource", {s});
    std::string all;
    for (GLsizei i = 0; i < n; i++)
        all += len && len[i] >= 0 ? std::string(text[i], (size_t)len[i]) : std::string(text[i]);
    fake_gl.shader_source[s] = all;
    fake_gl.shader_texts.push_back(all);
}
static void f_CompileShader(GLuint s) {
    rec("glCompileShader", {s});
    fake_gl.compiles++;
    fake_gl.shader_compiled[s] = fake_gl.compiles != fake_gl.fail_compile_at;
}
static void f_GetShaderiv(GLuint s, GLenum p, GLint *v) {
    if (p == GL_COMPILE_STATUS)
        *v = fake_gl.shader_compiled[s];
    else if (p == GL_INFO_LOG_LENGTH)
        *v = fake_gl.compile_log.empty() ? 0 : (GLint)fake_gl.compile_log.size() + 1;
    else
        *v = 0;
}
static void f_GetShaderInfoLog(GLuint, GLsizei size, GLsizei *len, GLchar *log) {
    snprintf(log, (size_t)size, "%s", fake_gl.compile_log.c_str());
    if (len) *len = (GLsizei)strlen(log);
}
static void f_DeleteShader(GLuint s) {
    rec("glDeleteShader", {s});
    fake_gl.live_shaders.erase(s);
}
static GLuint f_CreateProgram(void) {
    GLuint p = fake_gl.next_name++;
    rec("glCreateProgram", {p});
    fake_gl.live_programs.insert(p);
    return p;
}
static void f_AttachShader(GLuint p, GLuint s) {
    rec("glAttachShader", {p, s});
    fake_gl.program_shaders[p].push_back(s);
}
static void f_DetachShader(GLuint p, GLuint s) {
    rec("glDetachShader", {p, s});
}
static void f_DeleteProgram(GLuint p) {
    rec("glDeleteProgram", {p});
    fake_gl.live_programs.erase(p);
}
static void f_BindAttribLocation(GLuint p, GLuint index, const GLchar *name) {
    rec("glBindAttribLocation", {p, index});
    fake_gl.calls.back().name += std::string(":") + name;
}
static void f_LinkProgram(GLuint p) {
    rec("glLinkProgram", {p});
    fake_gl.links++;
    fake_gl.program_linked[p] = fake_gl.links != fake_gl.fail_link_at;
}
static void f_GetProgramiv(GLuint p, GLenum pname, GLint *v) {
    if (pname == GL_LINK_STATUS)
        *v = fake_gl.program_linked[p];
    else
        *v = 0;
}
static void f_GetProgramInfoLog(GLuint, GLsizei size, GLsizei *len, GLchar *log) {
    if (size > 0) log[0] = 0;
    if (len) *len = 0;
}
static void f_UseProgram(GLuint p) {
    rec("glUseProgram", {p});
    fake_gl.current_program = p;
}

// A uniform exists when one of the program's shaders declares it, as a linker would report.
static GLint f_GetUniformLocation(GLuint p, const GLchar *name) {
    rec("glGetUniformLocation", {p});
    fake_gl.uniform_lookups[{p, name}]++;
    auto &locs = fake_gl.program_locations[p];
    auto it = locs.find(name);
    if (it != locs.end()) return it->second;
    bool declared = false;
    std::regex decl(std::string("uniform\\s+\\w+\\s+") + name + "\\s*[;\\[]");
    for (GLuint s : fake_gl.program_shaders[p])
        declared = declared || std::regex_search(fake_gl.shader_source[s], decl);
    GLint loc = declared ? (GLint)locs.size() + 10 : -1;
    locs[name] = loc;
    return loc;
}

static std::string uniform_name(GLint loc) {
    for (const auto &[name, l] : fake_gl.program_locations[fake_gl.current_program])
        if (l == loc) return name;
    return "?";
}

static void set_uniform(GLint loc, const char *kind, int count, const float *v, int n) {
    rec("glUniform", {loc});
    fake_gl.calls.back().name += kind;
    fake_gl.uniform_sets.push_back(
        {fake_gl.current_program, uniform_name(loc), kind, count, std::vector<float>(v, v + n)});
}
static void f_Uniform1i(GLint l, GLint v) {
    float f = (float)v;
    set_uniform(l, "1i", 1, &f, 1);
}
static void f_Uniform1f(GLint l, GLfloat v) {
    set_uniform(l, "1f", 1, &v, 1);
}
static void f_Uniform2fv(GLint l, GLsizei n, const GLfloat *v) {
    set_uniform(l, "2fv", n, v, 2 * n);
}
static void f_Uniform3fv(GLint l, GLsizei n, const GLfloat *v) {
    set_uniform(l, "3fv", n, v, 3 * n);
}
static void f_Uniform4fv(GLint l, GLsizei n, const GLfloat *v) {
    set_uniform(l, "4fv", n, v, 4 * n);
}
static void f_UniformMatrix3fv(GLint l, GLsizei n, GLboolean, const GLfloat *v) {
    set_uniform(l, "m3", n, v, 9 * n);
}
static void f_UniformMatrix4fv(GLint l, GLsizei n, GLboolean, const GLfloat *v) {
    set_uniform(l, "m4", n, v, 16 * n);
}

// ---- loader ------------------------------------------------------------------------------------

void *fake_gl_loader(void *, const char *name) {
    if (fake_gl.missing_functions.count(name)) return nullptr;
    static const struct {
        const char *name;
        void *fn;
    } table[] = {
#define FAKE(n) {"gl" #n, (void *)f_##n}
        FAKE(GetString),
        FAKE(GetIntegerv),
        FAKE(GetError),
        FAKE(Clear),
        FAKE(ClearColor),
        FAKE(Viewport),
        FAKE(Enable),
        FAKE(Disable),
        FAKE(BlendFunc),
        FAKE(DepthFunc),
        FAKE(DepthMask),
        FAKE(Flush),
        FAKE(Finish),
        FAKE(PixelStorei),
        FAKE(ReadPixels),
        FAKE(GenTextures),
        FAKE(DeleteTextures),
        FAKE(BindTexture),
        FAKE(TexImage2D),
        FAKE(TexSubImage2D),
        FAKE(TexParameterf),
        FAKE(TexParameterfv),
        FAKE(TexParameteri),
        FAKE(GetTexLevelParameteriv),
        FAKE(DrawArrays),
        FAKE(DrawElements),
        FAKE(DrawRangeElements),
        FAKE(ActiveTexture),
        FAKE(AttachShader),
        FAKE(BindFramebuffer),
        FAKE(CheckFramebufferStatus),
        FAKE(CompileShader),
        FAKE(CreateProgram),
        FAKE(CreateShader),
        FAKE(DeleteFramebuffers),
        FAKE(DeleteProgram),
        FAKE(DeleteShader),
        FAKE(DetachShader),
        FAKE(FramebufferTexture2D),
        FAKE(GenerateMipmap),
        FAKE(GenFramebuffers),
        FAKE(GetShaderInfoLog),
        FAKE(GetShaderiv),
        FAKE(GetProgramiv),
        FAKE(GetProgramInfoLog),
        FAKE(GetUniformLocation),
        FAKE(LinkProgram),
        FAKE(ShaderSource),
        FAKE(Uniform1i),
        FAKE(Uniform1f),
        FAKE(Uniform2fv),
        FAKE(Uniform3fv),
        FAKE(Uniform4fv),
        FAKE(UniformMatrix3fv),
        FAKE(UniformMatrix4fv),
        FAKE(UseProgram),
        FAKE(BindAttribLocation),
        FAKE(BindBuffer),
        FAKE(BindVertexArray),
        FAKE(BufferData),
        FAKE(BufferSubData),
        FAKE(DeleteBuffers),
        FAKE(DeleteVertexArrays),
        FAKE(DisableVertexAttribArray),
        FAKE(EnableVertexAttribArray),
        FAKE(GenBuffers),
        FAKE(GenVertexArrays),
        FAKE(VertexAttribPointer),
#undef FAKE
    };
    for (const auto &e : table)
        if (strcmp(e.name, name) == 0) return e.fn;
    return nullptr;
}
