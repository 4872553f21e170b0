// The loaded track's lighting: sun, ambient light, fog, clipping planes, sky box textures and
// lens flares. Read from the track's "lighting" file at every track load; what the file leaves
// out keeps its default. The renderer reads the record directly.
#pragma once

enum {
    LIGHTING_FLARE_ELEMENTS = 8, // elements per flare
    LIGHTING_FLARES_MAX = 64,    // flares per track; more are dropped with a message
    LIGHTING_SKY_FACES = 6,      // north, east, south, west, up, environment
    LIGHTING_TEXTURE_NAME = 1024,
};

enum { LIGHTING_FLARE_POINT = 0, LIGHTING_FLARE_VECTOR = 1 };

struct lighting_flare_element {
    float a, b; // placement: b along the light's screen position, a turned about the centre
    float color[3];
    float size; // half side of the square
    unsigned texture;
};

struct lighting_flare {
    int kind;        // LIGHTING_FLARE_POINT or LIGHTING_FLARE_VECTOR
    float vector[3]; // position of a point flare, direction of a vector flare
    int element_count;
    lighting_flare_element elements[LIGHTING_FLARE_ELEMENTS];
    // Worked out every frame by the flare pass.
    float screen_x, screen_y;
    float visibility;
};

struct lighting_settings {
    float sun_vector[3]; // normalised
    float sun_color[3];
    float ambient[3];
    float global_ambient[3];
    float near_plane;
    float far_plane;
    float fog_color[3]; // keeps its value from one load to the next
    float fog_density;  // 0 at every load
    unsigned sky[LIGHTING_SKY_FACES];
    int flare_count;
    lighting_flare flares[LIGHTING_FLARES_MAX];
};

extern lighting_settings lighting;

// Called after a load with the fog values, so the drawing side can set its shader uniforms.
extern void (*lighting_fog_apply)(const float color[3], float density);

// Reads "@" + dir + "/lighting". A missing file keeps the defaults without a message.
void lighting_load(const char *dir);
// Sets the defaults (fog colour excepted) and clears the flares; loads no textures.
void lighting_defaults(void);
// Reads one line of a lighting file into the settings (the flare being built included).
void lighting_parse_line(const char *line);
// The rules applied after reading: plane limits, sun normalisation, default sky textures.
void lighting_finish(void);
// Near and far planes made usable: near within 2^-10 .. 7/8, far within near .. 2^20.
void lighting_clamp_planes(float *near_plane, float *far_plane);
