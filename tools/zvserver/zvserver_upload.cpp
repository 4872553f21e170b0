// Files sent by clients: "sendfile" opens a part file in the upload folder, "sendpart -" parts
// append raw bytes, "namefile NAME" gives it its name. The sender is a stranger: names are
// plain file names, sizes are capped, and a part without an open offer is dropped.
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#include "tools/zvserver/zvserver.h"

namespace {

const char OFFER[] = "sendfile";
const char PART[] = "sendpart -";
const char NAME[] = "namefile ";
const int NAME_MAX_CHARS = 200;

int slot(const zvserver *s, const zvserver_client *c) {
    return (int)(c - s->clients);
}

void answer(zvserver_client *c, const char *text) {
    net_reliable_queue(&c->rel, NET_M_COMMAND, text, (int)strlen(text));
}

int starts(const uint8_t *b, int len, const char *prefix) {
    int n = (int)strlen(prefix);
    return len >= n && memcmp(b, prefix, (size_t)n) == 0;
}

void part_path(const zvserver *s, const zvserver_client *c, char *out, size_t size) {
    snprintf(out, size, "%s/.part%d", s->cfg.upload_dir, slot(s, c));
}

// Letters, digits, '_' and '.', not starting with '.': never a path, never hidden.
int name_ok(const char *name) {
    if (!name[0] || name[0] == '.') return 0;
    for (const char *p = name; *p; p++)
        if (!((*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z') || (*p >= '0' && *p <= '9') ||
              *p == '_' || *p == '.'))
            return 0;
    return 1;
}

void deny(zvserver *s, zvserver_client *c, const char *why) {
    zvserver_log(s, "slot %d: file refused: %s", slot(s, c), why);
    zvserver_upload_drop(s, c);
    answer(c, "senddenied");
}

void offer(zvserver *s, zvserver_client *c) {
    zvserver_upload_drop(s, c);
    if (!s->cfg.upload_dir[0]) {
        deny(s, c, "this server takes no files");
        return;
    }
    char path[ZVSERVER_TEXT + 32];
    part_path(s, c, path, sizeof path);
    c->upload = fopen(path, "wb");
    if (!c->upload) {
        deny(s, c, "cannot write the upload folder");
        return;
    }
    c->upload_bytes = 0;
    answer(c, "sendready");
}

void part(zvserver *s, zvserver_client *c, const uint8_t *b, int len) {
    if (!c->upload) return; // no offer open: a stray or hostile part
    int n = len - (int)strlen(PART);
    if (c->upload_bytes + n > (long)s->cfg.upload_max_kb * 1024) {
        deny(s, c, "too large");
        return;
    }
    if (fwrite(b + strlen(PART), 1, (size_t)n, c->upload) != (size_t)n) {
        deny(s, c, "write failed");
        return;
    }
    c->upload_bytes += n;
}

void finish(zvserver *s, zvserver_client *c, const uint8_t *b, int len) {
    if (!c->upload) return;
    char name[NAME_MAX_CHARS + 1];
    int n = len - (int)strlen(NAME);
    if (n > NAME_MAX_CHARS || n <= 0) {
        deny(s, c, "bad name");
        return;
    }
    memcpy(name, b + strlen(NAME), (size_t)n);
    name[n] = 0;
    if (strlen(name) != (size_t)n || !name_ok(name)) {
        deny(s, c, "bad name");
        return;
    }
    int ok = fclose(c->upload) == 0;
    c->upload = nullptr;
    char from[ZVSERVER_TEXT + 32], to[ZVSERVER_TEXT + NAME_MAX_CHARS + 16];
    part_path(s, c, from, sizeof from);
    // A file already there is kept; the new one takes the first free ".N" name.
    snprintf(to, sizeof to, "%s/%s", s->cfg.upload_dir, name);
    struct stat st;
    for (int k = 1; ok && stat(to, &st) == 0; k++) {
        if (k > 99) ok = 0;
        snprintf(to, sizeof to, "%s/%s.%d", s->cfg.upload_dir, name, k);
    }
    if (!ok || rename(from, to) != 0) {
        remove(from);
        zvserver_log(s, "slot %d: file %s could not be stored", slot(s, c), name);
        return;
    }
    zvserver_log(s, "slot %d (%s) sent %s (%ld bytes)", slot(s, c), c->name, to, c->upload_bytes);
}

} // namespace

void zvserver_upload_drop(zvserver *s, zvserver_client *c) {
    if (!c->upload) return;
    fclose(c->upload);
    c->upload = nullptr;
    char path[ZVSERVER_TEXT + 32];
    part_path(s, c, path, sizeof path);
    remove(path);
}

int zvserver_upload_text(zvserver *s, zvserver_client *c, const uint8_t *b, int len) {
    if (len == (int)strlen(OFFER) && starts(b, len, OFFER)) {
        offer(s, c);
        return 1;
    }
    if (starts(b, len, PART)) {
        part(s, c, b, len);
        return 1;
    }
    if (starts(b, len, NAME)) {
        finish(s, c, b, len);
        return 1;
    }
    return 0;
}
