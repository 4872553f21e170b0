// Reading the track's lighting file. Each line is a keyword and a value; the value is scanned
// with a formatted scan, and only finite numbers are taken (the file comes with downloaded
// tracks).
#include "track/track_lighting.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "data/data_file.h"
#include "track/track_hooks.h"
#include "track/track_status.h"

lighting_settings lighting = {{0.57735026f, 0.57735026f, 0.57735026f},
                              {1, 1, 1},
                              {0.5f, 0.5f, 0.5f},
                              {0.2f, 0.2f, 0.2f},
                              0.25f,
                              5000.0f,
                              {0, 0, 0},
                              0.0f,
                              {0, 0, 0, 0, 0, 0},
                              0,
                              {}};

void (*lighting_fog_apply)(const float color[3], float density);

static const char *const sky_keywords[LIGHTING_SKY_FACES] = {"sky_n", "sky_e", "sky_s",
                                                             "sky_w", "sky_u", "sky_env"};
static const char *const sky_defaults[LIGHTING_SKY_FACES] = {
    "@sky-n.ppm", "@sky-e.ppm", "@sky-s.ppm", "@sky-w.ppm", "@sky-u.ppm", "@sky-env.ppm"};

// The flare being built: elements gathered since the last flare_point or flare_vector.
static lighting_flare_element building[LIGHTING_FLARE_ELEMENTS];
// Textures are loaded when the flare is finished, so dropped elements load nothing.
static char building_names[LIGHTING_FLARE_ELEMENTS][LIGHTING_TEXTURE_NAME];
static int building_count;
static int sky_given[LIGHTING_SKY_FACES];

static const float sun_default = 0.57735026f; // (1, 1, 1) normalised

static void set3(float *d, float a, float b, float c) {
    d[0] = a;
    d[1] = b;
    d[2] = c;
}

void lighting_defaults(void) {
    set3(lighting.sun_vector, 1, 1, 1);
    set3(lighting.sun_color, 1, 1, 1);
    set3(lighting.ambient, 0.5f, 0.5f, 0.5f);
    set3(lighting.global_ambient, 0.2f, 0.2f, 0.2f);
    lighting.near_plane = 0.25f;
    lighting.far_plane = 5000.0f;
    lighting.fog_density = 0;
    for (int i = 0; i < LIGHTING_SKY_FACES; i++) {
        lighting.sky[i] = 0;
        sky_given[i] = 0;
    }
    lighting.flare_count = 0;
    building_count = 0;
}

static int all_finite(const float *v, int n) {
    for (int i = 0; i < n; i++)
        if (!std::isfinite(v[i])) return 0;
    return 1;
}

// " [ %f %f %f ] ": values the scan does not reach keep what they had. A non-finite value
// leaves the whole vector alone.
static void scan_vector(const char *value, float *dest) {
    float v[3] = {dest[0], dest[1], dest[2]};
    int n = sscanf(value, " [ %f %f %f ] ", &v[0], &v[1], &v[2]);
    if (n <= 0 || !all_finite(v, 3)) return;
    memcpy(dest, v, sizeof v);
}

static void load_texture(unsigned *slot, const char *name) {
    *slot = track_render.texture_load ? track_render.texture_load(name) : 0;
}

static void finish_flare(int kind, const char *value) {
    float v[3] = {0, 0, 0};
    int n = sscanf(value, " [ %f %f %f ] ", &v[0], &v[1], &v[2]);
    if (n < 0 || !all_finite(v, 3)) n = 0, set3(v, 0, 0, 0);
    if (lighting.flare_count >= LIGHTING_FLARES_MAX) {
        track_message("Error reading lighting: more than %d flares\n", LIGHTING_FLARES_MAX);
        building_count = 0;
        return;
    }
    lighting_flare *f = &lighting.flares[lighting.flare_count++];
    memset(f, 0, sizeof *f);
    f->kind = kind;
    memcpy(f->vector, v, sizeof v);
    f->element_count = building_count;
    memcpy(f->elements, building, sizeof(lighting_flare_element) * (size_t)building_count);
    for (int i = 0; i < building_count; i++)
        load_texture(&f->elements[i].texture, building_names[i]);
    building_count = 0;
}

void lighting_parse_line(const char *line) {
    const char *p = line;
    while (*p == ' ' || *p == '\t')
        p++;
    char keyword[1024];
    size_t k = 0;
    while (*p && *p != ' ' && *p != '\t' && *p != '\r' && *p != '\n' && k + 1 < sizeof keyword)
        keyword[k++] = *p++;
    keyword[k] = 0;
    // A keyword longer than the buffer is unknown anyway; skip the rest of it.
    while (*p && *p != ' ' && *p != '\t' && *p != '\r' && *p != '\n')
        p++;
    while (*p == ' ' || *p == '\t')
        p++;
    char value[1024];
    snprintf(value, sizeof value, "%s", p);
    size_t len = strlen(value);
    while (len > 0 && (value[len - 1] == ' ' || value[len - 1] == '\t' || value[len - 1] == '\r' ||
                       value[len - 1] == '\n'))
        value[--len] = 0;
    if (k == 0) return;

    if (!strcmp(keyword, "sun_vector"))
        scan_vector(value, lighting.sun_vector);
    else if (!strcmp(keyword, "sun_color"))
        scan_vector(value, lighting.sun_color);
    else if (!strcmp(keyword, "ambient"))
        scan_vector(value, lighting.ambient);
    else if (!strcmp(keyword, "global_ambient"))
        scan_vector(value, lighting.global_ambient);
    else if (!strcmp(keyword, "flare_element")) {
        lighting_flare_element e = {};
        char name[LIGHTING_TEXTURE_NAME];
        int n = sscanf(value, " [ %f %f ] [ %f %f %f ] %f %1023s", &e.a, &e.b, &e.color[0],
                       &e.color[1], &e.color[2], &e.size, name);
        float nums[6] = {e.a, e.b, e.color[0], e.color[1], e.color[2], e.size};
        if (n == 7 && all_finite(nums, 6) && building_count < LIGHTING_FLARE_ELEMENTS) {
            memcpy(building_names[building_count], name, sizeof name);
            building[building_count++] = e;
        }
    } else if (!strcmp(keyword, "flare_point"))
        finish_flare(LIGHTING_FLARE_POINT, value);
    else if (!strcmp(keyword, "flare_vector"))
        finish_flare(LIGHTING_FLARE_VECTOR, value);
    else if (!strcmp(keyword, "fog")) {
        float v[4];
        if (sscanf(value, " [ %f %f %f ] %f ", &v[0], &v[1], &v[2], &v[3]) == 4 &&
            all_finite(v, 4)) {
            memcpy(lighting.fog_color, v, sizeof lighting.fog_color);
            // A negative density would turn fog into glare.
            lighting.fog_density = v[3] > 0 ? v[3] : 0;
        }
    } else if (!strcmp(keyword, "dynamic_lighting")) {
        // Accepted for old files; it has no effect.
    } else if (!strcmp(keyword, "near_plane")) {
        float v;
        if (sscanf(value, "%f", &v) == 1 && std::isfinite(v)) lighting.near_plane = v;
    } else if (!strcmp(keyword, "far_plane")) {
        float v;
        if (sscanf(value, "%f", &v) == 1 && std::isfinite(v)) lighting.far_plane = v;
    } else {
        for (int i = 0; i < LIGHTING_SKY_FACES; i++) {
            if (!strcmp(keyword, sky_keywords[i])) {
                if (value[0]) {
                    char name[LIGHTING_TEXTURE_NAME];
                    if (sscanf(value, "%1023s", name) == 1) {
                        if (lighting.sky[i] && track_render.texture_delete)
                            track_render.texture_delete(lighting.sky[i]);
                        load_texture(&lighting.sky[i], name);
                        sky_given[i] = 1;
                    }
                }
                return;
            }
        }
        track_message("Error reading lighting: Unknown identifier '%.950s'\n", keyword);
    }
}

void lighting_clamp_planes(float *near_plane, float *far_plane) {
    float n = *near_plane, f = *far_plane;
    if (!(n >= 0.0009765625f)) n = 0.0009765625f;
    if (n > 0.875f) n = 0.875f;
    if (!(f <= 1048576.0f)) f = 1048576.0f;
    // A far plane at or before the near plane would leave no depth range: the projection and
    // the depth linearisation divide by far - near.
    if (f <= n) f = n * 2;
    *near_plane = n;
    *far_plane = f;
}

void lighting_finish(void) {
    lighting_clamp_planes(&lighting.near_plane, &lighting.far_plane);

    float *s = lighting.sun_vector;
    double len = std::sqrt((double)s[0] * s[0] + (double)s[1] * s[1] + (double)s[2] * s[2]);
    if (len > 0 && std::isfinite(len))
        set3(s, (float)(s[0] / len), (float)(s[1] / len), (float)(s[2] / len));
    else
        set3(s, sun_default, sun_default, sun_default); // no direction given: keep the default

    for (int i = 0; i < LIGHTING_SKY_FACES; i++) {
        if (sky_given[i]) continue;
        track_status_update("Loading lighting");
        load_texture(&lighting.sky[i], sky_defaults[i]);
    }
    // Elements after the last flare_point or flare_vector belong to no flare.
    building_count = 0;
}

void lighting_load(const char *dir) {
    // The sky textures of the previous track go first.
    for (int i = 0; i < LIGHTING_SKY_FACES; i++)
        if (lighting.sky[i] && track_render.texture_delete)
            track_render.texture_delete(lighting.sky[i]);
    lighting_defaults();

    char name[1100];
    snprintf(name, sizeof name, "@%s/lighting", dir ? dir : "");
    track_status_begin("Loading lighting");
    data_file *f = data_open(name, "rb");
    if (f) {
        char line[1024];
        while (data_gets(f, line, sizeof line)) {
            track_status_update("Loading lighting");
            lighting_parse_line(line);
        }
        data_close(f);
    }
    lighting_finish();
    track_status_done("Loading lighting");
    if (lighting_fog_apply) lighting_fog_apply(lighting.fog_color, lighting.fog_density);
}
