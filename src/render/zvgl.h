// The GL command layer. Every drawing module talks to OpenGL through these calls: fixed-function
// style matrix stacks and begin/end immediate mode, emulated on a core 3.1+ or ES 3.0 context with
// five shader programs. State changes and immediate draws are queued and replayed in order after
// one vertex upload; every other GL call goes through a wrapper that flushes the queue first.
// Only the thread that owns the GL context may call this layer.
#pragma once

#include <GL/glcorearb.h>

// Fixed-function names that the core header lacks; the layer interprets them itself.
#ifndef GL_QUAD_STRIP
#define GL_QUAD_STRIP 0x0008
#endif
#ifndef GL_POLYGON
#define GL_POLYGON 0x0009
#endif
#ifndef GL_MODELVIEW
#define GL_MODELVIEW 0x1700
#endif
#ifndef GL_PROJECTION
#define GL_PROJECTION 0x1701
#endif

enum {
    ZVGL_PROGRAM_NONE = 0,
    ZVGL_PROGRAM_UNLIT = 1,
    ZVGL_PROGRAM_NORM_ENV = 2,
    ZVGL_PROGRAM_NORM_SPEC_LIT = 3,
    ZVGL_PROGRAM_TERRAIN_NORMALS = 4,
    ZVGL_PROGRAM_TERRAIN = 5,
    ZVGL_PROGRAM_COUNT = 6,
};

enum {
    ZVGL_STACKS = 10,      // model-view, projection, texture units 0..7
    ZVGL_STACK_DEPTH = 32, // levels 0..31
    ZVGL_TEXTURE_UNITS = 8,
    ZVGL_MAX_VERTICES = 8192,
    ZVGL_VERTEX_FLOATS = 12, // position xyzw, texcoord strq, colour rgba
    ZVGL_MAX_INDICES = 24576,
    ZVGL_QUEUE_WORDS = 0x100000,
    ZVGL_MAX_BONE = 32,
    ZVGL_MAX_MATERIAL = 16, // materials of one batched model draw
};

// Attribute locations shared by every program and by model vertex buffers.
enum {
    ZVGL_ATTR_POSITION = 0,
    ZVGL_ATTR_NORMAL = 2,
    ZVGL_ATTR_COLOR = 3,
    ZVGL_ATTR_TEXCOORD = 8,
    ZVGL_ATTR_TANGENT = 9,
    ZVGL_ATTR_WEIGHTS = 10,
    ZVGL_ATTR_BONES = 11,
    ZVGL_ATTR_MATERIAL = 12, // a model vertex's slot in the materials of a batched draw
};

// ---- GL entry points ---------------------------------------------------------------------------

// Every GL function the layer calls, loaded by name (nothing links against the GL library).
#define ZVGL_FUNCTIONS(X)                                                                          \
    X(PFNGLGETSTRINGPROC, glGetString)                                                             \
    X(PFNGLGETINTEGERVPROC, glGetIntegerv)                                                         \
    X(PFNGLGETERRORPROC, glGetError)                                                               \
    X(PFNGLCLEARPROC, glClear)                                                                     \
    X(PFNGLCLEARCOLORPROC, glClearColor)                                                           \
    X(PFNGLVIEWPORTPROC, glViewport)                                                               \
    X(PFNGLENABLEPROC, glEnable)                                                                   \
    X(PFNGLDISABLEPROC, glDisable)                                                                 \
    X(PFNGLBLENDFUNCPROC, glBlendFunc)                                                             \
    X(PFNGLDEPTHFUNCPROC, glDepthFunc)                                                             \
    X(PFNGLDEPTHMASKPROC, glDepthMask)                                                             \
    X(PFNGLFLUSHPROC, glFlush)                                                                     \
    X(PFNGLFINISHPROC, glFinish)                                                                   \
    X(PFNGLPIXELSTOREIPROC, glPixelStorei)                                                         \
    X(PFNGLREADPIXELSPROC, glReadPixels)                                                           \
    X(PFNGLGENTEXTURESPROC, glGenTextures)                                                         \
    X(PFNGLDELETETEXTURESPROC, glDeleteTextures)                                                   \
    X(PFNGLBINDTEXTUREPROC, glBindTexture)                                                         \
    X(PFNGLTEXIMAGE2DPROC, glTexImage2D)                                                           \
    X(PFNGLTEXSUBIMAGE2DPROC, glTexSubImage2D)                                                     \
    X(PFNGLTEXPARAMETERFPROC, glTexParameterf)                                                     \
    X(PFNGLTEXPARAMETERFVPROC, glTexParameterfv)                                                   \
    X(PFNGLTEXPARAMETERIPROC, glTexParameteri)                                                     \
    X(PFNGLGETTEXLEVELPARAMETERIVPROC, glGetTexLevelParameteriv)                                   \
    X(PFNGLDRAWARRAYSPROC, glDrawArrays)                                                           \
    X(PFNGLDRAWELEMENTSPROC, glDrawElements)                                                       \
    X(PFNGLDRAWRANGEELEMENTSPROC, glDrawRangeElements)                                             \
    X(PFNGLACTIVETEXTUREPROC, glActiveTexture)                                                     \
    X(PFNGLATTACHSHADERPROC, glAttachShader)                                                       \
    X(PFNGLBINDFRAMEBUFFERPROC, glBindFramebuffer)                                                 \
    X(PFNGLCHECKFRAMEBUFFERSTATUSPROC, glCheckFramebufferStatus)                                   \
    X(PFNGLCOMPILESHADERPROC, glCompileShader)                                                     \
    X(PFNGLCREATEPROGRAMPROC, glCreateProgram)                                                     \
    X(PFNGLCREATESHADERPROC, glCreateShader)                                                       \
    X(PFNGLDELETEFRAMEBUFFERSPROC, glDeleteFramebuffers)                                           \
    X(PFNGLDELETEPROGRAMPROC, glDeleteProgram)                                                     \
    X(PFNGLDELETESHADERPROC, glDeleteShader)                                                       \
    X(PFNGLDETACHSHADERPROC, glDetachShader)                                                       \
    X(PFNGLFRAMEBUFFERTEXTURE2DPROC, glFramebufferTexture2D)                                       \
    X(PFNGLGENERATEMIPMAPPROC, glGenerateMipmap)                                                   \
    X(PFNGLGENFRAMEBUFFERSPROC, glGenFramebuffers)                                                 \
    X(PFNGLGETSHADERINFOLOGPROC, glGetShaderInfoLog)                                               \
    X(PFNGLGETSHADERIVPROC, glGetShaderiv)                                                         \
    X(PFNGLGETPROGRAMIVPROC, glGetProgramiv)                                                       \
    X(PFNGLGETPROGRAMINFOLOGPROC, glGetProgramInfoLog)                                             \
    X(PFNGLGETUNIFORMLOCATIONPROC, glGetUniformLocation)                                           \
    X(PFNGLLINKPROGRAMPROC, glLinkProgram)                                                         \
    X(PFNGLSHADERSOURCEPROC, glShaderSource)                                                       \
    X(PFNGLUNIFORM1IPROC, glUniform1i)                                                             \
    X(PFNGLUNIFORM1FPROC, glUniform1f)                                                             \
    X(PFNGLUNIFORM2FVPROC, glUniform2fv)                                                           \
    X(PFNGLUNIFORM3FVPROC, glUniform3fv)                                                           \
    X(PFNGLUNIFORM4FVPROC, glUniform4fv)                                                           \
    X(PFNGLUNIFORMMATRIX3FVPROC, glUniformMatrix3fv)                                               \
    X(PFNGLUNIFORMMATRIX4FVPROC, glUniformMatrix4fv)                                               \
    X(PFNGLUSEPROGRAMPROC, glUseProgram)                                                           \
    X(PFNGLBINDATTRIBLOCATIONPROC, glBindAttribLocation)                                           \
    X(PFNGLBINDBUFFERPROC, glBindBuffer)                                                           \
    X(PFNGLBINDVERTEXARRAYPROC, glBindVertexArray)                                                 \
    X(PFNGLBUFFERDATAPROC, glBufferData)                                                           \
    X(PFNGLBUFFERSUBDATAPROC, glBufferSubData)                                                     \
    X(PFNGLDELETEBUFFERSPROC, glDeleteBuffers)                                                     \
    X(PFNGLDELETEVERTEXARRAYSPROC, glDeleteVertexArrays)                                           \
    X(PFNGLDISABLEVERTEXATTRIBARRAYPROC, glDisableVertexAttribArray)                               \
    X(PFNGLENABLEVERTEXATTRIBARRAYPROC, glEnableVertexAttribArray)                                 \
    X(PFNGLGENBUFFERSPROC, glGenBuffers)                                                           \
    X(PFNGLGENVERTEXARRAYSPROC, glGenVertexArrays)                                                 \
    X(PFNGLVERTEXATTRIBPOINTERPROC, glVertexAttribPointer)

#define ZVGL_DECLARE_MEMBER(type, name) type name;
struct zvgl_functions {
    ZVGL_FUNCTIONS(ZVGL_DECLARE_MEMBER)
};
#undef ZVGL_DECLARE_MEMBER

// The loaded table. Drawing modules call the zvgl wrappers, never these directly.
extern zvgl_functions zvgl_fn;

// Returns the address of a GL function by name, or null. `user` is passed through.
typedef void *(*zvgl_loader)(void *user, const char *name);

// What the context told us at start-up.
struct zvgl_context_info {
    char vendor[256];
    char renderer[256];
    char version[256];
    const char *extensions; // "NULL" when the driver gives none (core profiles)
    int major, minor;
    int es; // 1 on an OpenGL ES context
};

// ---- start-up and programs ---------------------------------------------------------------------

// Loads every entry point through the loader, reads the context strings and version, sets every
// stack to identity, makes the immediate-mode buffers (major version 3 or more) and the default
// textures. Returns 1, or 0 when an entry point is missing (logged). The caller logs the strings
// and refuses contexts older than 3.1.
int zvglInit(zvgl_loader loader, void *user);
// Loader over the platform window (platform_gl_proc); pass the platform_window as `user`.
void *zvgl_platform_loader(void *user, const char *name);
// Deletes the programs, buffers and default textures; the layer may be started again afterwards.
void zvglShutdown(void);
const zvgl_context_info *zvglContextInfo(void);
// 1 between a successful zvglInit and zvglShutdown. Headless programs (tools, tests) never start
// the layer; the texture module checks this and makes no GL objects then.
int zvglStarted(void);
// Compiles and links the five programs; 1 on success, 0 on failure (everything deleted).
int zvglCreatePrograms(void);
// Index 1..5; anything else (or the current index) is ignored.
void zvglUseProgram(int index);
int zvglCurrentProgram(void);
int zvglProgramSwitches(void);
// Texture binds handed to GL since the layer started.
int zvglTextureBinds(void);
// The GL name of slot 1..5, 0 otherwise.
GLuint zvglProgramHandle(int index);
// The two 1x1 default textures: white (255,255,255) and flat normal (128,128,255).
GLuint zvglWhiteTexture(void);
GLuint zvglFlatNormalTexture(void);
// The exact text handed to GL for one program's vertex (0) or fragment (1) shader on this
// context, or null for a bad index. Points into static storage.
const char *zvglShaderText(int program, int fragment);

// ---- uniform setters (flush first; act on the current program) --------------------------------

// count 0..32; centres and translations are count vec3, rotations count column-major 3x3.
void zvglSetBones(int count, const float *centres, const float *translations,
                  const float *rotations);
void zvglSetFogColor(const float rgb[3]);
void zvglSetFogDensity(float d);
void zvglSetAmbient(const float rgba[4]);
void zvglSetDiffuse(const float rgb[3]);
void zvglSetShininess(float s);
void zvglSetSpecularColor(const float rgb[3]);
// The materials of a batched model draw: count 0..16 entries of three vec4 each, ambient (rgba),
// diffuse (rgb), specular (rgb colour, a = shininess; "norm_env" takes its tint from it), picked
// per vertex by its material attribute. Count 0 goes back to the single material of the setters
// above.
void zvglSetMaterials(int count, const float *materials);
// A direction in eye space, used unnormalised as the light vector.
void zvglSetLightPosition(const float xyz[3]);
void zvglSetTerrainSpacing(float s);
void zvglSetTerrainTexTransform(const float offset_xy[2], float scale);
void zvglSetHeightsDimInv(float v);
// m is a 3x3 rotation given row by row. Leaves "unlit" current.
void zvglSetEnvMatrix(const float m[9]);

// ---- matrices (queued) -------------------------------------------------------------------------

void zvglMatrixMode(GLenum mode);
void zvglLoadIdentity(void);
void zvglLoadMatrixf(const float m[16]);
void zvglMultMatrixf(const float m[16]);
void zvglTranslatef(float x, float y, float z);
void zvglRotatef(float angle_degrees, float x, float y, float z);
void zvglScalef(float x, float y, float z);
void zvglFrustum(double l, double r, double b, double t, double n, double f);
void zvglOrtho(double l, double r, double b, double t, double n, double f);
void zvglPushMatrix(void);
void zvglPopMatrix(void);
// The top matrix of the current stack (column-major), after the queue has been applied.
const float *zvglGetMatrix(void);
// Introspection for callers that save and restore state.
int zvglCurrentStack(void);
int zvglStackDepth(int stack);
int zvglActiveUnit(void);

// ---- state (queued) ----------------------------------------------------------------------------

void zvglActiveTexture(GLenum unit_enum);
void zvglBindTexture(GLenum target, GLuint name);
void zvglBlendFunc(GLenum src, GLenum dst);
void zvglDepthFunc(GLenum func);
void zvglDepthMask(GLboolean flag);
void zvglEnable(GLenum cap);
void zvglDisable(GLenum cap);

// ---- immediate mode ----------------------------------------------------------------------------

void zvglBegin(GLenum mode);
void zvglVertex2f(float x, float y);
void zvglVertex3f(float x, float y, float z);
void zvglColor4f(float r, float g, float b, float a);
void zvglTexCoord2f(float s, float t);
void zvglEnd(void);

// ---- queue control and forwarding wrappers (each flushes the queue first) ----------------------

void zvglFlushQueue(void);
void zvglBindBuffer(GLenum target, GLuint buffer);
void zvglBindFramebuffer(GLenum target, GLuint fb);
void zvglBindVertexArray(GLuint vao);
void zvglBufferData(GLenum target, GLsizeiptr size, const void *data, GLenum usage);
void zvglBufferSubData(GLenum target, GLintptr offset, GLsizeiptr size, const void *data);
GLenum zvglCheckFramebufferStatus(GLenum target);
void zvglClear(GLbitfield mask);
void zvglClearColor(float r, float g, float b, float a);
void zvglDeleteBuffers(GLsizei n, const GLuint *buffers);
void zvglDeleteFramebuffers(GLsizei n, const GLuint *fbs);
void zvglDeleteTextures(GLsizei n, const GLuint *textures);
void zvglDeleteVertexArrays(GLsizei n, const GLuint *vaos);
void zvglEnableVertexAttribArray(GLuint index);
void zvglDisableVertexAttribArray(GLuint index);
void zvglFlush(void);
void zvglFinish(void);
void zvglFramebufferTexture2D(GLenum target, GLenum attachment, GLenum textarget, GLuint texture,
                              GLint level);
void zvglGenBuffers(GLsizei n, GLuint *buffers);
void zvglGenerateMipmap(GLenum target);
void zvglGenFramebuffers(GLsizei n, GLuint *fbs);
void zvglGenTextures(GLsizei n, GLuint *textures);
void zvglGenVertexArrays(GLsizei n, GLuint *vaos);
GLenum zvglGetError(void);
void zvglGetIntegerv(GLenum pname, GLint *data);
void zvglGetTexLevelParameteriv(GLenum target, GLint level, GLenum pname, GLint *params);
void zvglPixelStorei(GLenum pname, GLint param);
void zvglReadPixels(GLint x, GLint y, GLsizei w, GLsizei h, GLenum format, GLenum type,
                    void *pixels);
void zvglTexImage2D(GLenum target, GLint level, GLint internalformat, GLsizei w, GLsizei h,
                    GLint border, GLenum format, GLenum type, const void *pixels);
void zvglTexParameterf(GLenum target, GLenum pname, float param);
void zvglTexParameterfv(GLenum target, GLenum pname, const float *params);
void zvglTexParameteri(GLenum target, GLenum pname, GLint param);
void zvglTexSubImage2D(GLenum target, GLint level, GLint x, GLint y, GLsizei w, GLsizei h,
                       GLenum format, GLenum type, const void *pixels);
void zvglVertexAttribPointer(GLuint index, GLint size, GLenum type, GLboolean normalized,
                             GLsizei stride, const void *pointer);
void zvglViewport(GLint x, GLint y, GLsizei w, GLsizei h);
// Buffer draws: flush, refuse when no program is current, upload dirty matrices, draw.
void zvglDrawArrays(GLenum mode, GLint first, GLsizei count);
void zvglDrawElements(GLenum mode, GLsizei count, GLenum type, const void *offset);
void zvglDrawRangeElements(GLenum mode, GLuint start, GLuint end, GLsizei count, GLenum type,
                           const void *offset);

// ---- diagnostics -------------------------------------------------------------------------------

// Every line the layer logs also goes to this observer when one is set (tests, the console).
typedef void (*zvgl_log_observer)(const char *line);
void zvglSetLogObserver(zvgl_log_observer fn);
