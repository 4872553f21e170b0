// The five shader programs: creation, switching and the uniform setters, with uniform locations
// looked up lazily per program.
#include "render/render_gl_internal.h"

#include <cmath>
#include <cstring>

const char *const rgl_uniform_names[RGL_U_COUNT] = {
    "u_modelview",       "u_projection", "u_texture0",    "u_texture1",  "u_texture2",
    "u_texture3",        "u_texture4",   "u_texture5",    "u_texture6",  "u_texture7",
    "u_nbones",          "u_bone_c",     "u_bone_t",      "u_bone_r",    "u_fog_color",
    "u_fog_density",     "u_ambient",    "u_diffuse",     "u_shininess", "u_specular_color",
    "u_light_position",  "u_spacing",    "u_spacing_inv", "u_texoffset", "u_texscale",
    "u_heights_dim_inv", "u_envmat",     "u_nmaterials",  "u_materials",
};

GLint rgl_uniform(int which) {
    int p = rgl.current_program;
    if (p <= ZVGL_PROGRAM_NONE || p >= ZVGL_PROGRAM_COUNT || which < 0 || which >= RGL_U_COUNT)
        return -1;
    GLint *cache = &rgl.uniforms[p][which];
    if (*cache == -2)
        *cache = zvgl_fn.glGetUniformLocation(rgl.programs[p], rgl_uniform_names[which]);
    return *cache;
}

void rgl_reset_uniform_caches(void) {
    for (int p = 0; p < ZVGL_PROGRAM_COUNT; p++) {
        for (int u = 0; u < RGL_U_COUNT; u++)
            rgl.uniforms[p][u] = -2;
        rgl.nbones[p] = rgl.nmaterials[p] = -1;
    }
}

void rgl_delete_programs(void) {
    for (int p = 1; p < ZVGL_PROGRAM_COUNT; p++) {
        GLuint prog = rgl.programs[p];
        GLuint shaders[2] = {rgl.vertex_shaders[p], rgl.fragment_shaders[p]};
        for (GLuint sh : shaders) {
            if (!sh) continue;
            if (prog) zvgl_fn.glDetachShader(prog, sh);
            zvgl_fn.glDeleteShader(sh);
        }
        if (prog) zvgl_fn.glDeleteProgram(prog);
        rgl.programs[p] = rgl.vertex_shaders[p] = rgl.fragment_shaders[p] = 0;
    }
    rgl_reset_uniform_caches();
}

// Desktop GL compiles the same text as "#version 150" by skipping the ES version line and the
// comment marker in front of the desktop one.
static const char *rgl_dialect_text(const char *source) {
    static const char es_prefix[] = "#version 300 es\n//";
    if (rgl.info.es) return source;
    if (strncmp(source, es_prefix, sizeof es_prefix - 1) != 0) return source;
    return source + (sizeof es_prefix - 1);
}

const char *zvglShaderText(int program, int fragment) {
    const char *src = rgl_shader_source(program, fragment);
    return src ? rgl_dialect_text(src) : nullptr;
}

static char rgl_info_log[8192];

static GLuint rgl_compile(GLenum type, const char *text, const char *what, const char *name) {
    GLuint sh = zvgl_fn.glCreateShader(type);
    if (!sh) {
        rgl_log("Can't create %s for %s\n", what, name);
        return 0;
    }
    zvgl_fn.glShaderSource(sh, 1, &text, nullptr);
    zvgl_fn.glCompileShader(sh);
    GLint length = 0, ok = 0;
    zvgl_fn.glGetShaderiv(sh, GL_INFO_LOG_LENGTH, &length);
    if (length > 1) {
        rgl_info_log[0] = 0;
        zvgl_fn.glGetShaderInfoLog(sh, sizeof rgl_info_log, nullptr, rgl_info_log);
        rgl_info_log[sizeof rgl_info_log - 1] = 0;
        rgl_log("%s for %s:\n%s\n", what, name, rgl_info_log);
    }
    zvgl_fn.glGetShaderiv(sh, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        zvgl_fn.glDeleteShader(sh);
        return 0;
    }
    return sh;
}

static int rgl_create_program(int p) {
    const char *name = rgl_program_names[p];
    rgl_log("Creating \"%s\" shader\n", name);
    rgl.vertex_shaders[p] =
        rgl_compile(GL_VERTEX_SHADER, zvglShaderText(p, 0), "vertex shader status", name);
    if (!rgl.vertex_shaders[p]) return 0;
    rgl.fragment_shaders[p] =
        rgl_compile(GL_FRAGMENT_SHADER, zvglShaderText(p, 1), "fragment shader status", name);
    if (!rgl.fragment_shaders[p]) return 0;
    GLuint prog = zvgl_fn.glCreateProgram();
    if (!prog) {
        rgl_log("Can't create program for %s\n", name);
        return 0;
    }
    rgl.programs[p] = prog;
    zvgl_fn.glAttachShader(prog, rgl.vertex_shaders[p]);
    zvgl_fn.glAttachShader(prog, rgl.fragment_shaders[p]);
    static const struct {
        GLuint index;
        const char *name;
    } attributes[] = {
        {ZVGL_ATTR_POSITION, "vattr_position"}, {ZVGL_ATTR_NORMAL, "vattr_normal"},
        {ZVGL_ATTR_COLOR, "vattr_color"},       {ZVGL_ATTR_TEXCOORD, "vattr_texcoord"},
        {ZVGL_ATTR_TANGENT, "vattr_tangent"},   {ZVGL_ATTR_WEIGHTS, "vattr_weights"},
        {ZVGL_ATTR_BONES, "vattr_bones"},       {ZVGL_ATTR_MATERIAL, "vattr_material"},
    };
    for (const auto &a : attributes)
        zvgl_fn.glBindAttribLocation(prog, a.index, a.name);
    zvgl_fn.glLinkProgram(prog);
    GLint length = 0, ok = 0;
    zvgl_fn.glGetProgramiv(prog, GL_INFO_LOG_LENGTH, &length);
    if (length > 1) {
        rgl_info_log[0] = 0;
        zvgl_fn.glGetProgramInfoLog(prog, sizeof rgl_info_log, nullptr, rgl_info_log);
        rgl_info_log[sizeof rgl_info_log - 1] = 0;
        rgl_log("%s for %s:\n%s\n", "link status", name, rgl_info_log);
    }
    zvgl_fn.glGetProgramiv(prog, GL_LINK_STATUS, &ok);
    return ok != 0;
}

static void rgl_sampler(int p, const char *name, int unit) {
    GLint loc = zvgl_fn.glGetUniformLocation(rgl.programs[p], name);
    if (loc >= 0) zvgl_fn.glUniform1i(loc, unit);
}

int zvglCreatePrograms(void) {
    zvglFlushQueue();
    // Programs from an earlier call would otherwise leak.
    rgl_delete_programs();
    for (int p = ZVGL_PROGRAM_UNLIT; p < ZVGL_PROGRAM_COUNT; p++) {
        if (!rgl_create_program(p)) {
            rgl_delete_programs();
            zvgl_fn.glUseProgram(0);
            rgl.current_program = ZVGL_PROGRAM_NONE;
            return 0;
        }
    }
    static const struct {
        int program;
        const char *name;
        int unit;
    } samplers[] = {
        {ZVGL_PROGRAM_NORM_ENV, "u_nmap", 1},      {ZVGL_PROGRAM_NORM_SPEC_LIT, "u_nmap", 1},
        {ZVGL_PROGRAM_NORM_SPEC_LIT, "u_smap", 2}, {ZVGL_PROGRAM_TERRAIN_NORMALS, "u_shadows", 1},
        {ZVGL_PROGRAM_TERRAIN, "u_nmap", 1},       {ZVGL_PROGRAM_TERRAIN, "u_smap", 2},
        {ZVGL_PROGRAM_TERRAIN, "u_heights", 3},
    };
    for (const auto &s : samplers) {
        zvgl_fn.glUseProgram(rgl.programs[s.program]);
        rgl_sampler(s.program, s.name, s.unit);
    }
    zvgl_fn.glUseProgram(0);
    rgl.current_program = ZVGL_PROGRAM_NONE;
    rgl.dirty = (1u << ZVGL_STACKS) - 1;
    return 1;
}

void zvglUseProgram(int index) {
    if (index < ZVGL_PROGRAM_NONE || index >= ZVGL_PROGRAM_COUNT || index == rgl.current_program)
        return;
    zvglFlushQueue();
    rgl.current_program = index;
    rgl.dirty = (1u << ZVGL_STACKS) - 1;
    zvgl_fn.glUseProgram(rgl.programs[index]);
    rgl.program_switches++;
}

int zvglCurrentProgram(void) {
    return rgl.current_program;
}
int zvglProgramSwitches(void) {
    return rgl.program_switches;
}
int zvglTextureBinds(void) {
    return rgl.texture_binds;
}

GLuint zvglProgramHandle(int index) {
    if (index <= ZVGL_PROGRAM_NONE || index >= ZVGL_PROGRAM_COUNT) return 0;
    return rgl.programs[index];
}

// ---- uniform setters ---------------------------------------------------------------------------

// Flushes and returns the location in the current program, -1 when absent or no program.
static GLint rgl_setter(int which) {
    zvglFlushQueue();
    return rgl_uniform(which);
}

void zvglSetBones(int count, const float *centres, const float *translations,
                  const float *rotations) {
    zvglFlushQueue();
    if (rgl.current_program == ZVGL_PROGRAM_NONE) return;
    // The shaders' arrays hold MAX_BONE entries; more would read past them.
    if (count < 0 || count > ZVGL_MAX_BONE) {
        rgl_log("Error: zvglSetBones with %d bones (at most %d)\n", count, ZVGL_MAX_BONE);
        return;
    }
    if (count > 0 && (!centres || !translations || !rotations)) {
        rgl_log("Error: zvglSetBones without bone data\n");
        return;
    }
    int &known = rgl.nbones[rgl.current_program];
    if (count == 0 && known == 0) return;
    known = count;
    GLint loc = rgl_uniform(RGL_U_NBONES);
    if (loc >= 0) zvgl_fn.glUniform1i(loc, count);
    if (count < 1) return;
    if ((loc = rgl_uniform(RGL_U_BONE_C)) >= 0) zvgl_fn.glUniform3fv(loc, count, centres);
    if ((loc = rgl_uniform(RGL_U_BONE_T)) >= 0) zvgl_fn.glUniform3fv(loc, count, translations);
    if ((loc = rgl_uniform(RGL_U_BONE_R)) >= 0)
        zvgl_fn.glUniformMatrix3fv(loc, count, GL_FALSE, rotations);
}

static void rgl_set3(int which, const float *v) {
    GLint loc = rgl_setter(which);
    if (loc >= 0) zvgl_fn.glUniform3fv(loc, 1, v);
}

static void rgl_set1(int which, float v) {
    GLint loc = rgl_setter(which);
    if (loc >= 0) zvgl_fn.glUniform1f(loc, v);
}

void zvglSetFogColor(const float rgb[3]) {
    rgl_set3(RGL_U_FOG_COLOR, rgb);
}
void zvglSetFogDensity(float d) {
    rgl_set1(RGL_U_FOG_DENSITY, d);
}
void zvglSetDiffuse(const float rgb[3]) {
    rgl_set3(RGL_U_DIFFUSE, rgb);
}
void zvglSetShininess(float s) {
    rgl_set1(RGL_U_SHININESS, s);
}
void zvglSetSpecularColor(const float rgb[3]) {
    rgl_set3(RGL_U_SPECULAR_COLOR, rgb);
}
void zvglSetLightPosition(const float xyz[3]) {
    rgl_set3(RGL_U_LIGHT_POSITION, xyz);
}
void zvglSetHeightsDimInv(float v) {
    rgl_set1(RGL_U_HEIGHTS_DIM_INV, v);
}

void zvglSetAmbient(const float rgba[4]) {
    GLint loc = rgl_setter(RGL_U_AMBIENT);
    if (loc >= 0) zvgl_fn.glUniform4fv(loc, 1, rgba);
}

void zvglSetMaterials(int count, const float *materials) {
    zvglFlushQueue();
    if (rgl.current_program == ZVGL_PROGRAM_NONE) return;
    // The shader's array holds ZVGL_MAX_MATERIAL entries; more would read past it.
    if (count < 0 || count > ZVGL_MAX_MATERIAL || (count > 0 && !materials)) {
        rgl_log("Error: zvglSetMaterials with %d materials\n", count);
        return;
    }
    int &known = rgl.nmaterials[rgl.current_program];
    GLint loc;
    if (count != known) {
        known = count;
        if ((loc = rgl_uniform(RGL_U_NMATERIALS)) >= 0) zvgl_fn.glUniform1i(loc, count);
    }
    if (count > 0 && (loc = rgl_uniform(RGL_U_MATERIALS)) >= 0)
        zvgl_fn.glUniform4fv(loc, count * 3, materials);
}

void zvglSetTerrainSpacing(float s) {
    rgl_set1(RGL_U_SPACING, s);
    // A zero spacing would put infinities into every height lookup.
    if (s != 0.0f && std::isfinite(s)) rgl_set1(RGL_U_SPACING_INV, 1.0f / s);
}

void zvglSetTerrainTexTransform(const float offset_xy[2], float scale) {
    GLint loc = rgl_setter(RGL_U_TEXOFFSET);
    if (loc >= 0) zvgl_fn.glUniform2fv(loc, 1, offset_xy);
    rgl_set1(RGL_U_TEXSCALE, scale);
}

void zvglSetEnvMatrix(const float m[9]) {
    float t[9];
    for (int row = 0; row < 3; row++)
        for (int col = 0; col < 3; col++)
            t[col * 3 + row] = m[row * 3 + col];
    zvglUseProgram(ZVGL_PROGRAM_NORM_ENV);
    GLint loc = rgl_setter(RGL_U_ENVMAT);
    if (loc >= 0) zvgl_fn.glUniformMatrix3fv(loc, 1, GL_FALSE, t);
    zvglUseProgram(ZVGL_PROGRAM_UNLIT);
}
