// Start-up, context information, default textures, logging and the forwarding wrappers of the
// GL layer.
#include "render/render_gl_internal.h"

#include "platform/platform.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

zvgl_functions zvgl_fn;
rgl_state rgl;

static zvgl_log_observer rgl_observer;

void zvglSetLogObserver(zvgl_log_observer fn) {
    rgl_observer = fn;
}

void rgl_log(const char *fmt, ...) {
    char line[2048];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(line, sizeof line, fmt, ap);
    va_end(ap);
    platform_log("%s", line);
    if (rgl_observer) rgl_observer(line);
}

void rgl_fatal(const char *text) {
    rgl_log("%s", text);
    fputs(text, stderr);
    fflush(stderr);
    exit(1);
}

static void rgl_copy_string(char *dst, size_t size, const GLubyte *s) {
    snprintf(dst, size, "%s", s ? (const char *)s : "NULL");
}

static int rgl_load_functions(zvgl_loader loader, void *user) {
    int missing = 0;
    memset(&zvgl_fn, 0, sizeof zvgl_fn);
#define ZVGL_LOAD(type, name)                                                                      \
    zvgl_fn.name = (type)loader(user, #name);                                                      \
    if (!zvgl_fn.name) {                                                                           \
        rgl_log("GL entry point %s not found\n", #name);                                           \
        missing++;                                                                                 \
    }
    ZVGL_FUNCTIONS(ZVGL_LOAD)
#undef ZVGL_LOAD
    return missing == 0;
}

// Parses "OpenGL ES 3.2 Mesa ..." or "4.5 (Core Profile) ...".
static void rgl_parse_version(zvgl_context_info *info) {
    int major = 0, minor = 0;
    info->es = 0;
    if (sscanf(info->version, "OpenGL ES %d.%d", &major, &minor) == 2) {
        info->es = 1;
    } else if (sscanf(info->version, "%d.%d", &major, &minor) != 2) {
        major = minor = 0;
    }
    info->major = major;
    info->minor = minor;
}

static GLuint rgl_make_texture(const unsigned char rgb[3]) {
    GLuint name = 0;
    zvgl_fn.glGenTextures(1, &name);
    zvgl_fn.glBindTexture(GL_TEXTURE_2D, name);
    zvgl_fn.glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 1, 1, 0, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    zvgl_fn.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    zvgl_fn.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    // Without mipmaps the default minifying filter leaves the texture incomplete (it samples
    // black).
    zvgl_fn.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    zvgl_fn.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    zvgl_fn.glBindTexture(GL_TEXTURE_2D, 0);
    return name;
}

int zvglInit(zvgl_loader loader, void *user) {
    memset(&rgl, 0, sizeof rgl);
    if (!loader || !rgl_load_functions(loader, user)) return 0;

    zvgl_context_info *info = &rgl.info;
    rgl_copy_string(info->vendor, sizeof info->vendor, zvgl_fn.glGetString(GL_VENDOR));
    rgl_copy_string(info->renderer, sizeof info->renderer, zvgl_fn.glGetString(GL_RENDERER));
    rgl_copy_string(info->version, sizeof info->version, zvgl_fn.glGetString(GL_VERSION));
    const GLubyte *ext = zvgl_fn.glGetString(GL_EXTENSIONS);
    info->extensions = ext ? (const char *)ext : "NULL";
    // Core profiles flag the extensions query as an error; do not leave it for the next caller.
    for (int i = 0; i < 16 && zvgl_fn.glGetError() != GL_NO_ERROR; i++) {
    }
    rgl_parse_version(info);

    zvgl_fn.glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    zvgl_fn.glPixelStorei(GL_PACK_ALIGNMENT, 1);

    rgl_reset_stacks();
    rgl_reset_immediate();
    rgl_reset_uniform_caches();
    rgl.current_program = ZVGL_PROGRAM_NONE;
    if (info->major > 2) rgl_create_immediate_buffers();

    static const unsigned char white[3] = {255, 255, 255};
    static const unsigned char flat[3] = {128, 128, 255};
    rgl.white_texture = rgl_make_texture(white);
    rgl.flat_normal_texture = rgl_make_texture(flat);
    rgl.started = 1;
    return 1;
}

void zvglShutdown(void) {
    if (!rgl.started) return;
    // Work still queued is dropped: nothing more will be shown from this context.
    rgl.queue_words = 0;
    rgl_delete_programs();
    zvgl_fn.glUseProgram(0);
    GLuint textures[2] = {rgl.white_texture, rgl.flat_normal_texture};
    zvgl_fn.glDeleteTextures(2, textures);
    if (rgl.vao) {
        zvgl_fn.glDeleteVertexArrays(1, &rgl.vao);
        GLuint buffers[2] = {rgl.vbo, rgl.ibo};
        zvgl_fn.glDeleteBuffers(2, buffers);
    }
    memset(&rgl, 0, sizeof rgl);
}

const zvgl_context_info *zvglContextInfo(void) {
    return &rgl.info;
}
int zvglStarted(void) {
    return rgl.started;
}
GLuint zvglWhiteTexture(void) {
    return rgl.white_texture;
}
GLuint zvglFlatNormalTexture(void) {
    return rgl.flat_normal_texture;
}

// ---- forwarding wrappers -----------------------------------------------------------------------

void zvglBindBuffer(GLenum target, GLuint buffer) {
    zvglFlushQueue();
    zvgl_fn.glBindBuffer(target, buffer);
}

void zvglBindFramebuffer(GLenum target, GLuint fb) {
    zvglFlushQueue();
    zvgl_fn.glBindFramebuffer(target, fb);
}

void zvglBindVertexArray(GLuint vao) {
    zvglFlushQueue();
    zvgl_fn.glBindVertexArray(vao);
}

void zvglBufferData(GLenum target, GLsizeiptr size, const void *data, GLenum usage) {
    zvglFlushQueue();
    zvgl_fn.glBufferData(target, size, data, usage);
}

void zvglBufferSubData(GLenum target, GLintptr offset, GLsizeiptr size, const void *data) {
    zvglFlushQueue();
    zvgl_fn.glBufferSubData(target, offset, size, data);
}

GLenum zvglCheckFramebufferStatus(GLenum target) {
    zvglFlushQueue();
    return zvgl_fn.glCheckFramebufferStatus(target);
}

void zvglClear(GLbitfield mask) {
    zvglFlushQueue();
    zvgl_fn.glClear(mask);
}

void zvglClearColor(float r, float g, float b, float a) {
    zvglFlushQueue();
    zvgl_fn.glClearColor(r, g, b, a);
}

void zvglDeleteBuffers(GLsizei n, const GLuint *buffers) {
    zvglFlushQueue();
    zvgl_fn.glDeleteBuffers(n, buffers);
}

void zvglDeleteFramebuffers(GLsizei n, const GLuint *fbs) {
    zvglFlushQueue();
    zvgl_fn.glDeleteFramebuffers(n, fbs);
}

void zvglDeleteTextures(GLsizei n, const GLuint *textures) {
    zvglFlushQueue();
    zvgl_fn.glDeleteTextures(n, textures);
}

void zvglDeleteVertexArrays(GLsizei n, const GLuint *vaos) {
    zvglFlushQueue();
    zvgl_fn.glDeleteVertexArrays(n, vaos);
}

void zvglEnableVertexAttribArray(GLuint index) {
    zvglFlushQueue();
    zvgl_fn.glEnableVertexAttribArray(index);
}

void zvglDisableVertexAttribArray(GLuint index) {
    zvglFlushQueue();
    zvgl_fn.glDisableVertexAttribArray(index);
}

void zvglFlush(void) {
    zvglFlushQueue();
    zvgl_fn.glFlush();
}

void zvglFinish(void) {
    zvglFlushQueue();
    zvgl_fn.glFinish();
}

void zvglFramebufferTexture2D(GLenum target, GLenum attachment, GLenum textarget, GLuint texture,
                              GLint level) {
    zvglFlushQueue();
    zvgl_fn.glFramebufferTexture2D(target, attachment, textarget, texture, level);
}

void zvglGenBuffers(GLsizei n, GLuint *buffers) {
    zvglFlushQueue();
    zvgl_fn.glGenBuffers(n, buffers);
}

void zvglGenerateMipmap(GLenum target) {
    zvglFlushQueue();
    zvgl_fn.glGenerateMipmap(target);
}

void zvglGenFramebuffers(GLsizei n, GLuint *fbs) {
    zvglFlushQueue();
    zvgl_fn.glGenFramebuffers(n, fbs);
}

void zvglGenTextures(GLsizei n, GLuint *textures) {
    zvglFlushQueue();
    zvgl_fn.glGenTextures(n, textures);
}

void zvglGenVertexArrays(GLsizei n, GLuint *vaos) {
    zvglFlushQueue();
    zvgl_fn.glGenVertexArrays(n, vaos);
}

GLenum zvglGetError(void) {
    zvglFlushQueue();
    return zvgl_fn.glGetError();
}

void zvglGetIntegerv(GLenum pname, GLint *data) {
    zvglFlushQueue();
    zvgl_fn.glGetIntegerv(pname, data);
}

void zvglGetTexLevelParameteriv(GLenum target, GLint level, GLenum pname, GLint *params) {
    zvglFlushQueue();
    zvgl_fn.glGetTexLevelParameteriv(target, level, pname, params);
}

void zvglPixelStorei(GLenum pname, GLint param) {
    zvglFlushQueue();
    zvgl_fn.glPixelStorei(pname, param);
}

void zvglReadPixels(GLint x, GLint y, GLsizei w, GLsizei h, GLenum format, GLenum type,
                    void *pixels) {
    zvglFlushQueue();
    zvgl_fn.glReadPixels(x, y, w, h, format, type, pixels);
}

void zvglTexImage2D(GLenum target, GLint level, GLint internalformat, GLsizei w, GLsizei h,
                    GLint border, GLenum format, GLenum type, const void *pixels) {
    zvglFlushQueue();
    zvgl_fn.glTexImage2D(target, level, internalformat, w, h, border, format, type, pixels);
}

void zvglTexParameterf(GLenum target, GLenum pname, float param) {
    zvglFlushQueue();
    zvgl_fn.glTexParameterf(target, pname, param);
}

void zvglTexParameterfv(GLenum target, GLenum pname, const float *params) {
    zvglFlushQueue();
    zvgl_fn.glTexParameterfv(target, pname, params);
}

void zvglTexParameteri(GLenum target, GLenum pname, GLint param) {
    zvglFlushQueue();
    zvgl_fn.glTexParameteri(target, pname, param);
}

void zvglTexSubImage2D(GLenum target, GLint level, GLint x, GLint y, GLsizei w, GLsizei h,
                       GLenum format, GLenum type, const void *pixels) {
    zvglFlushQueue();
    zvgl_fn.glTexSubImage2D(target, level, x, y, w, h, format, type, pixels);
}

void zvglVertexAttribPointer(GLuint index, GLint size, GLenum type, GLboolean normalized,
                             GLsizei stride, const void *pointer) {
    zvglFlushQueue();
    zvgl_fn.glVertexAttribPointer(index, size, type, normalized, stride, pointer);
}

void zvglViewport(GLint x, GLint y, GLsizei w, GLsizei h) {
    zvglFlushQueue();
    zvgl_fn.glViewport(x, y, w, h);
}

void zvglDrawArrays(GLenum mode, GLint first, GLsizei count) {
    zvglFlushQueue();
    rgl_prepare_draw();
    zvgl_fn.glDrawArrays(mode, first, count);
}

void zvglDrawElements(GLenum mode, GLsizei count, GLenum type, const void *offset) {
    zvglFlushQueue();
    rgl_prepare_draw();
    zvgl_fn.glDrawElements(mode, count, type, offset);
}

void zvglDrawRangeElements(GLenum mode, GLuint start, GLuint end, GLsizei count, GLenum type,
                           const void *offset) {
    zvglFlushQueue();
    rgl_prepare_draw();
    zvgl_fn.glDrawRangeElements(mode, start, end, count, type, offset);
}
