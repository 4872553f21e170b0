// The track's readers over arbitrary input: tileinfo, texturelist and the tile map from memory,
// and a whole terrain load (terrain.hf, tileinfo, tilemap) from a scratch directory.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "data/data_file.h"
#include "track/track_terrain.h"
#include "track/track_tiles.h"

static data_file *fuzz_stream(const uint8_t *data, size_t size) {
    FILE *fp = fmemopen((void *)data, size ? size : 1, "rb");
    if (!fp) return nullptr;
    return data_open_stream(fp, 0, (int32_t)size, 0, 0);
}

static void fuzz_write(const std::string &path, const uint8_t *data, size_t size) {
    FILE *fp = fopen(path.c_str(), "wb");
    if (!fp) return;
    fwrite(data, 1, size, fp);
    fclose(fp);
}

static std::string fuzz_dir;

static void fuzz_cleanup(void) {
    for (const char *f : {"/terrain.hf", "/tileinfo", "/tilemap"})
        unlink((fuzz_dir + f).c_str());
    rmdir(fuzz_dir.c_str());
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    int mode = data[0] % 4;
    data++;
    size--;
    if (mode < 3) {
        terrain_create(3, 1.0f, nullptr);
        data_file *f = fuzz_stream(data, size);
        if (!f) return 0;
        if (mode == 0)
            tiles_load_tileinfo(f);
        else if (mode == 1)
            tiles_load_texturelist(f);
        else
            tilemap_load(f);
        data_close(f);
        for (int t = -1; t <= tiles.count; t++) {
            float light, full;
            (void)tiles_friction(t, 3.0f);
            tiles_roll_resist(t, 7.0f, &light, &full);
        }
        (void)tile_at(5.0f, 9.0f);
        terrain_free();
        return 0;
    }
    std::string &dir = fuzz_dir;
    if (dir.empty()) {
        char tmpl[] = "/tmp/zv_fuzz_track_XXXXXX";
        if (!mkdtemp(tmpl)) return 0;
        dir = tmpl;
        atexit(fuzz_cleanup);
        static const uint8_t tileinfo[] = "texture dirt.png\naddtile\n";
        fuzz_write(dir + "/tileinfo", tileinfo, sizeof tileinfo - 1);
        fuzz_write(dir + "/tilemap", tileinfo, 4);
    }
    // Keep the grid small enough for the fuzzer's memory limit.
    char head[33];
    size_t n = size < 32 ? size : 32;
    memcpy(head, data, n);
    head[n] = 0;
    // The header's integer wraps in 32 bits as the scanner reads it.
    if ((int32_t)(uint32_t)strtoul(head, nullptr, 10) > 8) return 0;
    fuzz_write(dir + "/terrain.hf", data, size);
    if (terrain_load(dir.c_str())) {
        (void)terrain_height(1.5f, 2.5f);
        float n[3];
        terrain_normal(-1.0f, 1e9f, n);
    }
    terrain_free();
    return 0;
}
