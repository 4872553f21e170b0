// The data roots and the file index: every loose file under the roots and every member of every
// ".saf" archive found there, sorted by name (case-insensitively) and priority (lower wins).
#pragma once

#include <cstdint>
#include <cstdio>

// Root 0 is $XDG_DATA_HOME (or ~/.local/share) + "/Zelvo/", root 1 is $ZV_HOME + "/" or the
// directory of the running program. Each ends in '/'; null past the end of the list.
const char *data_root(int i);
int data_root_count(void);
// The home directory (root 0), or null when it could not be obtained; writes land only here.
const char *data_home(void);
// Forgets the roots so the next data_root call computes them again (tests change the
// environment between cases; the game computes them once).
void data_root_reset(void);

struct file_index_entry {
    char *storage;    // owned allocation holding the name (and, for loose files, the path)
    const char *path; // file on disk that holds the bytes
    const char *name; // game-relative name
    int32_t offset;
    int32_t length;
    int32_t priority;
};

// Builds the index on the first call and returns the file list (null-terminated, one pointer per
// distinct name, in index order); later calls return the same list.
const char *const *file_index_build(void);
// Frees the index, the file list and the roots; the next build starts over.
void file_index_free(void);
int file_index_find(const char *name); // first entry equal to name ignoring case, or -1
int file_index_exists(const char *name);
int file_index_count(void);
const file_index_entry *file_index_entry_at(int i);
// "name -> path" truncated to size-1 characters; 0 when not built or i out of range.
int file_index_describe(int i, char *buf, int size);
// Called once per directory walked and once per archive read, so a long first listing keeps the
// window alive. Null (the default) means nothing to do.
void file_index_set_pump(void (*pump)(void));

// Reads the text header of a ".saf" archive from fp (at its start), reporting each member with
// its offset and length in the file. file_size bounds the members. Returns the member count, or
// -1 when the header is bad (the caller then drops every member it was given).
typedef void (*data_archive_member_fn)(void *ctx, const char *name, int32_t offset, int32_t length);
int data_archive_read(FILE *fp, int64_t file_size, data_archive_member_fn member, void *ctx);

// Case-insensitive comparison of the index (each byte through tolower).
int data_name_compare(const char *a, const char *b);
