// GLSL sources of the five programs. Each text is written once for both dialects: it starts as
// GLSL ES 3.00, and desktop GL skips the first line and the comment marker of the second so that it
// reads "#version 150". Everything below the header is valid in both.
#include "render/render_gl_internal.h"

#define RGL_HEADER "#version 300 es\n//#version 150\n#define MAX_BONE 32\n"
#define RGL_MAX_MATERIAL "16"

// ES needs a default float precision in fragment stages; desktop GLSL accepts and ignores it.
#define RGL_FRAGMENT_PREAMBLE "precision highp float;\nout vec4 f_fragcolor;\n"

// Exponential fog on the window depth over w: f = e^(-density z), computed with exp2.
#define RGL_FOG                                                                                    \
    "uniform vec3 u_fog_color;\n"                                                                  \
    "uniform float u_fog_density;\n"                                                               \
    "vec3 apply_fog(vec3 c)\n"                                                                     \
    "{\n"                                                                                          \
    "    float z = gl_FragCoord.z / gl_FragCoord.w;\n"                                             \
    "    float f = clamp(exp2(-1.4426950408889634 * u_fog_density * z), 0.0, 1.0);\n"              \
    "    return u_fog_color * (1.0 - f) + c * f;\n"                                                \
    "}\n"

// The light terms shared by the lit programs: diffuse and mirror factors, both 0 facing away.
#define RGL_LIGHT                                                                                  \
    "uniform vec3 u_light_position;\n"                                                             \
    "void light_terms(vec3 n, vec3 viewer, out float ndl, out float rdl)\n"                        \
    "{\n"                                                                                          \
    "    vec3 l = u_light_position;\n"                                                             \
    "    ndl = dot(n, l);\n"                                                                       \
    "    rdl = max(dot(reflect(normalize(viewer), n), l), 0.0);\n"                                 \
    "    if (ndl < 0.0) {\n"                                                                       \
    "        ndl = 0.0;\n"                                                                         \
    "        rdl = 0.0;\n"                                                                         \
    "    }\n"                                                                                      \
    "}\n"

static const char rgl_unlit_vs[] = RGL_HEADER R"(
in vec4 vattr_position;
in vec4 vattr_color;
in vec4 vattr_texcoord;
uniform mat4 u_projection;
uniform mat4 u_modelview;
uniform mat4 u_texture0;
out vec2 v_texcoord;
out vec4 v_color;
void main()
{
    v_texcoord = (u_texture0 * vattr_texcoord).st;
    v_color = vattr_color;
    gl_Position = u_projection * (u_modelview * vattr_position);
}
)";

static const char rgl_unlit_fs[] = RGL_HEADER RGL_FRAGMENT_PREAMBLE RGL_FOG R"(
uniform sampler2D u_tex;
in vec2 v_texcoord;
in vec4 v_color;
void main()
{
    vec4 c = v_color * texture(u_tex, v_texcoord);
    f_fragcolor = vec4(apply_fog(c.rgb), c.a);
}
)";

// Skinned model vertices: up to four bone influences, or the plain model-view when no bones.
static const char rgl_model_vs[] = RGL_HEADER R"(
in vec3 vattr_position;
in vec3 vattr_normal;
in vec2 vattr_texcoord;
in vec3 vattr_tangent;
in vec4 vattr_weights;
in vec4 vattr_bones;
in float vattr_material;
uniform int u_nbones;
uniform vec3 u_bone_c[MAX_BONE];
uniform vec3 u_bone_t[MAX_BONE];
uniform mat3 u_bone_r[MAX_BONE];
uniform mat4 u_projection;
uniform mat4 u_modelview;
out vec2 v_texcoord;
out vec3 v_normal;
out vec3 v_tangent;
out vec3 v_viewer;
flat out int v_material;
void main()
{
    mat3 mv3 = mat3(u_modelview);
    v_texcoord = vattr_texcoord;
    v_material = int(vattr_material);
    if (u_nbones == 0) {
        vec4 eye = u_modelview * vec4(vattr_position, 1.0);
        v_normal = normalize(mv3 * vattr_normal);
        v_tangent = normalize(mv3 * vattr_tangent);
        v_viewer = eye.xyz / eye.w;
        gl_Position = u_projection * eye;
    } else {
        vec3 p = vec3(0.0);
        vec3 n = vec3(0.0);
        vec3 t = vec3(0.0);
        for (int i = 0; i < 4; i++) {
            // A bad bone number must not index past the arrays.
            int b = clamp(int(vattr_bones[i]), 0, MAX_BONE - 1);
            float w = vattr_weights[i];
            mat3 r = u_bone_r[b];
            p += w * (r * (vattr_position - u_bone_c[b]) + u_bone_t[b]);
            n += w * (r * vattr_normal);
            t += w * (r * vattr_tangent);
        }
        vec4 eye = u_modelview * vec4(p, 1.0);
        v_viewer = eye.xyz;
        v_normal = normalize(mv3 * n);
        v_tangent = normalize(mv3 * t);
        gl_Position = u_projection * eye;
    }
}
)";

#define RGL_NORMAL_MAP                                                                             \
    "uniform sampler2D u_nmap;\n"                                                                  \
    "in vec2 v_texcoord;\n"                                                                        \
    "in vec3 v_normal;\n"                                                                          \
    "in vec3 v_tangent;\n"                                                                         \
    "in vec3 v_viewer;\n"                                                                          \
    "vec3 mapped_normal()\n"                                                                       \
    "{\n"                                                                                          \
    "    vec3 n = normalize(v_normal);\n"                                                          \
    "    vec3 t = normalize(v_tangent - n * dot(n, v_tangent));\n"                                 \
    "    vec3 b = cross(n, t);\n"                                                                  \
    "    vec3 s = texture(u_nmap, v_texcoord).rgb * 2.0 - 1.0;\n"                                  \
    "    return normalize(mat3(t, b, n) * s);\n"                                                   \
    "}\n"

// Reflection pass: an angular map of the whole sphere, straight up at its centre. Batched
// blocks pick their tint from the material array as in "norm_spec_lit".
static const char rgl_norm_env_fs[] = RGL_HEADER RGL_FRAGMENT_PREAMBLE RGL_NORMAL_MAP R"(
uniform sampler2D u_tex;
uniform mat3 u_envmat;
uniform vec3 u_specular_color;
uniform int u_nmaterials;
uniform vec4 u_materials[3 * )" RGL_MAX_MATERIAL R"(];
flat in int v_material;
void main()
{
    vec3 tint = u_specular_color;
    if (u_nmaterials > 0)
        tint = u_materials[clamp(v_material, 0, u_nmaterials - 1) * 3 + 2].rgb;
    vec3 n = mapped_normal();
    vec3 v = normalize(u_envmat * reflect(v_viewer, n));
    float len = length(v.xz);
    vec2 dir = len > 1e-6 ? v.xz / len : vec2(1.0, 0.0);
    vec2 tc = dir * acos(clamp(v.y, -1.0, 1.0)) * 0.15915494309189535;
    f_fragcolor = texture(u_tex, tc + 0.5) * vec4(tint, 1.0);
}
)";

// With u_nmaterials above 0 the blocks of a whole model come in one draw, each vertex naming its
// block's material; otherwise the single material of the uniforms below applies.
static const char rgl_norm_spec_lit_fs[] =
    RGL_HEADER RGL_FRAGMENT_PREAMBLE RGL_FOG RGL_LIGHT RGL_NORMAL_MAP R"(
uniform sampler2D u_tex;
uniform sampler2D u_smap;
uniform vec4 u_ambient;
uniform vec3 u_diffuse;
uniform float u_shininess;
uniform vec3 u_specular_color;
uniform int u_nmaterials;
uniform vec4 u_materials[3 * )" RGL_MAX_MATERIAL R"(]; // ambient, diffuse, specular + shininess
flat in int v_material;
void main()
{
    vec4 ambient = u_ambient;
    vec3 diffuse = u_diffuse;
    vec3 specular = u_specular_color;
    float shininess = u_shininess;
    if (u_nmaterials > 0) {
        int m = clamp(v_material, 0, u_nmaterials - 1) * 3;
        ambient = u_materials[m];
        diffuse = u_materials[m + 1].rgb;
        specular = u_materials[m + 2].rgb;
        shininess = u_materials[m + 2].a;
    }
    vec3 n = mapped_normal();
    float ndl, rdl;
    light_terms(n, v_viewer, ndl, rdl);
    vec4 c = (ambient + vec4(diffuse * ndl, 0.0)) * texture(u_tex, v_texcoord);
    if (c.a < 0.75)
        discard;
    vec4 s = texture(u_smap, v_texcoord);
    s.rgb *= specular;
    float e = s.a * 128.0 + 0.125;
    if (e >= 127.875)
        e = shininess;
    c.rgb += s.rgb * pow(rdl, e);
    f_fragcolor = vec4(apply_fog(c.rgb), c.a);
}
)";

static const char rgl_terrain_normals_vs[] = RGL_HEADER R"(
in vec4 vattr_position;
in vec4 vattr_texcoord;
uniform mat4 u_projection;
uniform mat4 u_modelview;
uniform mat4 u_texture1;
out vec2 v_texcoord;
out vec2 v_shadowcoord;
void main()
{
    vec4 v = u_texture1 * vattr_position;
    v_shadowcoord = v.xy / v.w;
    v_texcoord = vattr_texcoord.st;
    gl_Position = u_projection * (u_modelview * vattr_position);
}
)";

// Bakes the ground normal and shadow texture: x and z of the normal in red and blue (limited to
// 126/128 so the terrain stage can rebuild y), the light factor in green.
static const char rgl_terrain_normals_fs[] = RGL_HEADER RGL_FRAGMENT_PREAMBLE R"(
uniform sampler2D u_tex;
uniform sampler2D u_shadows;
in vec2 v_texcoord;
in vec2 v_shadowcoord;
void main()
{
    vec2 slope = vec2(dFdx(v_texcoord.s), -dFdy(v_texcoord.s));
    float slope_len = length(slope);
    vec2 c1 = slope_len > 0.0 ? slope / slope_len : vec2(1.0, 0.0);
    vec2 c2 = vec2(-c1.y, c1.x);
    vec4 c = texture(u_tex, v_texcoord);
    vec3 n = vec3(c.r, c.b, c.g) * 2.0 - 1.0;
    n.x = -n.x;
    vec2 h = vec2(dot(n.xz, c1), dot(n.xz, c2));
    n.x = h.x;
    n.z = h.y;
    float shadow = 1.0 - texture(u_shadows, v_shadowcoord).r;
    n = normalize(n);
    const float limit = 126.0 / 128.0;
    if (n.x * n.x + n.z * n.z > limit * limit) {
        n.y = 0.0;
        n = normalize(n) * limit;
    }
    f_fragcolor = vec4((n.x + 1.0) * 0.5, shadow, (n.z + 1.0) * 0.5, c.a);
}
)";

static const char rgl_terrain_vs[] = RGL_HEADER R"(
in vec4 vattr_position;
uniform mat4 u_projection;
uniform mat4 u_modelview;
uniform float u_spacing_inv;
uniform vec2 u_texoffset;
uniform float u_texscale;
out vec2 v_texcoord;
out vec2 v_hcoord;
out vec3 v_viewer;
// Constant over the primitive; passed down so that ES receives it at medium precision.
out mediump mat3 v_mv3;
void main()
{
    vec4 eye = u_modelview * vattr_position;
    v_texcoord = (vattr_position.xz + u_texoffset) * u_texscale;
    v_hcoord = vattr_position.xz * u_spacing_inv;
    v_viewer = eye.xyz / eye.w;
    v_mv3 = mat3(u_modelview);
    gl_Position = u_projection * eye;
}
)";

static const char rgl_terrain_fs[] = RGL_HEADER RGL_FRAGMENT_PREAMBLE RGL_FOG RGL_LIGHT R"(
uniform sampler2D u_tex;
uniform sampler2D u_nmap;
uniform sampler2D u_smap;
uniform sampler2D u_heights;
uniform float u_heights_dim_inv;
uniform float u_spacing;
uniform vec4 u_ambient;
uniform vec3 u_diffuse;
uniform vec3 u_specular_color;
in vec2 v_texcoord;
in vec2 v_hcoord;
in vec3 v_viewer;
in mediump mat3 v_mv3;
float height_at(vec2 offset)
{
    return texture(u_heights, (v_hcoord + 0.5 + offset) * u_heights_dim_inv).r;
}
void main()
{
    float north = height_at(vec2(0.0, -0.5));
    float south = height_at(vec2(0.0, 0.5));
    float east = height_at(vec2(0.5, 0.0));
    float west = height_at(vec2(-0.5, 0.0));
    vec3 x = vec3(u_spacing, east - west, 0.0);
    vec3 z = vec3(0.0, south - north, u_spacing);
    vec3 r1 = normalize(cross(z, x));
    vec3 m = texture(u_nmap, v_texcoord).rgb;
    float k = m.g;
    vec3 n = m * 2.0 - 1.0;
    n.y = sqrt(max(1.0 - n.z * n.z - n.x * n.x, 0.0));
    vec3 r2 = normalize(cross(vec3(1.0, 0.0, 0.0), r1));
    vec3 r0 = cross(r1, r2);
    n = r0 * n.x + r1 * n.y + r2 * n.z;
    n = normalize(v_mv3 * n);
    float ndl, rdl;
    light_terms(n, v_viewer, ndl, rdl);
    vec4 c = (u_ambient + vec4(u_diffuse * ndl * k, 0.0)) * texture(u_tex, v_texcoord);
    vec4 s = texture(u_smap, v_texcoord);
    float e = s.g * 128.0 + 0.125;
    c.rgb += s.r * u_specular_color * pow(rdl, e) * k;
    f_fragcolor = vec4(apply_fog(c.rgb), c.a);
}
)";

const char *const rgl_program_names[ZVGL_PROGRAM_COUNT] = {
    "none", "unlit", "norm_env", "norm_spec_lit", "terrain_normals", "terrain",
};

const char *rgl_shader_source(int program, int fragment) {
    static const char *const sources[ZVGL_PROGRAM_COUNT][2] = {
        {nullptr, nullptr},
        {rgl_unlit_vs, rgl_unlit_fs},
        {rgl_model_vs, rgl_norm_env_fs},
        {rgl_model_vs, rgl_norm_spec_lit_fs},
        {rgl_terrain_normals_vs, rgl_terrain_normals_fs},
        {rgl_terrain_vs, rgl_terrain_fs},
    };
    if (program <= ZVGL_PROGRAM_NONE || program >= ZVGL_PROGRAM_COUNT) return nullptr;
    return sources[program][fragment ? 1 : 0];
}
