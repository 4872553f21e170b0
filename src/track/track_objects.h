// Track objects: billboards (flat pictures on the ground), statues (models with collision
// shapes, the starting-gate objects among them), decals lying on the ground, the replay
// cameras with their checkpoint map, the overview map, and the 8 x 8 grid that finds the
// objects near a bike. Loaded with the track, written back by the editor; scripts add more.
#pragma once

#include <cstdint>

#include "bike/bike_collide.h"

enum {
    OBJECTS_GRID = 8,            // cells per side of the object grid and the decal buckets
    OBJECTS_CAMERA_GATES = 1024, // checkpoints the camera map covers
    OBJECTS_NAME_MAX = 1024,
};

struct track_billboard {
    float x, y, z; // foot; y = ground + height
    float size;    // picture height
    float height;  // above the ground, as given
    float aspect;  // width / height
    uint32_t reserved;
    unsigned texture;
    uint8_t colour[4];
    char *name;    // picture name (zv_alloc), null when none
    int anim_tic;  // tic its picture's animation started
    int from_file; // loaded from the billboards file (the ones the editor saves)
};

struct track_statue {
    char *model, *texture, *shape_name; // zv_alloc'd; null for "null"
    unsigned tex, norm, spec;
    float x, z, height, y; // height above the ground, y absolute
    float angle;
    float rot[9];      // row-major; the orientation collisions use
    float draw_rot[9]; // the orientation it is drawn with (camera-facing statues turn)
    float facing;      // R: faces the camera beyond this distance; 0 otherwise
    bike_shape *shape;
    bike_object body; // what the collision tests see
    int from_file;
    int gate; // a starting-gate object
};

struct track_decal {
    float x, z, angle, size, aspect;
    float s, c; // sine and cosine of the angle
    unsigned tex, norm, spec;
};

struct track_camera {
    float pos[3];
    float fov;     // degrees, 10..170
    float autofov; // auto field-of-view size
};

struct objects_state {
    track_billboard *billboards;
    int billboard_count, billboard_cap;
    track_statue *statues;
    int statue_count, statue_cap;
    track_decal *decals;
    int decal_count, decal_cap;
    int *decal_bucket[OBJECTS_GRID * OBJECTS_GRID];
    int decal_bucket_count[OBJECTS_GRID * OBJECTS_GRID],
        decal_bucket_cap[OBJECTS_GRID * OBJECTS_GRID];
    int *grid[OBJECTS_GRID * OBJECTS_GRID]; // statue indices per cell
    int grid_count[OBJECTS_GRID * OBJECTS_GRID], grid_cap[OBJECTS_GRID * OBJECTS_GRID];
    track_camera *cameras;
    int camera_count, camera_cap;
    int camera_of_gate[OBJECTS_CAMERA_GATES]; // -1 none
    unsigned map_texture;
    int decals_hidden; // console toggledecals
};
extern objects_state objects;

// ---- billboards --------------------------------------------------------------------------------
// Adds a billboard standing at (x, ground + y, z); the name may carry a "#RRGGBB#" tint. Returns
// its index.
int billboard_add(float x, float y, float z, float size, float aspect, const char *name);
// Records of a billboards file from text (zero-terminated); returns how many were made.
int billboards_parse(const char *text);
// Reads "@" + dir + "/billboards"; 1 when the file opened.
int billboards_load(const char *dir);
// The text billboards_save writes (zv_alloc, zero-terminated).
char *billboards_format(void);
// Writes the loaded billboards back atomically; 1 on success.
int billboards_save(const char *dir);
void billboard_set_texture(int index, unsigned texture, int tic);

// ---- statues -----------------------------------------------------------------------------------
int statue_add(float x, float y, float z, float angle, const char *model, const char *texture,
               const char *shape);
int statues_parse(const char *text); // records made
int statues_load(const char *dir);
char *statues_format(void);
int statues_save(const char *dir);
// Orientation rules of an angle at (x, z): upright turn, turn and tilt to the ground, or
// camera-facing (returns R, the facing distance, else 0).
float statue_orientation(float x, float z, float angle, float rot[9]);
// Camera-facing statues turn their drawn orientation toward the camera.
void statues_face_camera(const float camera[3], float lod_scale, float lod_bias);
// A starting-gate object turned about its hinge (the race passes fall angle x 0.589 rad).
void statue_gate_turn(int index, float hinge);
// Creates a gate object (the starting gate's hook).
int statue_gate_create(const char *model, const char *texture, const char *shape, float x, float y,
                       float z, float angle);

// ---- the object grid ---------------------------------------------------------------------------
// Cell of a coordinate (0..7): the grid spans the middle three quarters of the terrain.
int objects_cell(float coordinate);
// Enters every statue with a shape into every cell its bounding circle overlaps.
void objects_grid_rebuild(void);
// Statue indices in the cells that (x +- reach, z +- reach) falls in, each once; returns count.
int objects_near(float x, float z, float reach, int *out, int max);

// ---- decals ------------------------------------------------------------------------------------
int decals_parse(const char *text); // decals made
void decals_load(const char *dir);
int decal_add(float x, float z, float angle, float size, float aspect, const char *name);
// Bucket (0..63) list of decal indices.
int decals_in_bucket(int bucket, const int **list);

// ---- cameras and the map -----------------------------------------------------------------------
int cameras_parse(const char *text);
int cameras_load(const char *dir);
// The camera covering checkpoint n, -1 when none.
int camera_for_checkpoint(int n);
void objects_map_load(const char *dir);

// Frees every object (track load and shutdown); the roost pool goes with the billboards.
void objects_free(void);
// Installs the objects' loading steps into the track loader and the gate hooks.
void objects_install(void);
