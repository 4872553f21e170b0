// Opening and reading data files: one handle for plain files, gzip streams, scrambled files and
// archive members, with one character of push-back for the text scanner. Names that begin with
// '@' are game-relative: read from the data roots, then from the file index (with the ".gz",
// ".scram" and ".gz.scram" variants); written only into the home directory (root 0).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <zlib.h>

struct data_descrambler;

enum {
    DATA_FILE_INPUT_SIZE = 16384,    // compressed input block
    DATA_FILE_OUTPUT_SIZE = 1024,    // inflated output block
    DATA_FILE_NO_LIMIT = 2147483647, // window length of a loose file
    DATA_NAME_MAX = 511,             // longest '@' path (root + name)
    DATA_PATH_MAX = 1023,            // longest path tried with a variant suffix
    DATA_BACKUP_PATH_MAX = 1000,     // longest path that may be opened in backup mode
    DATA_STRING_MAX = 16777216,      // file_to_string buffer; a file this long is refused
};

struct data_file {
    FILE *file;
    int32_t base;      // offset of the window's first byte in the file
    int32_t limit;     // window length
    uint32_t position; // bytes handed out from the window (inflated bytes for gzip)
    int32_t pushback;  // -1 when empty
    int gzip;
    int scrambled;
    int writing;
    uint32_t compressed_limit; // compressed bytes the window still holds (gzip)
    int end_of_stream;         // inflate finished, failed or ran out of input
    int inflater_ready;
    z_stream inflater;
    uint8_t input[DATA_FILE_INPUT_SIZE];
    uint8_t output[DATA_FILE_OUTPUT_SIZE];
    uint32_t output_pos, output_len;
    data_descrambler *descrambler;
    uint32_t raw_position; // bytes taken from the window (scrambled or compressed)
};

// mode is a stdio mode ("rb", "wb", "ab"...); a mode without 'r', or with '+', writes. A mode
// beginning with '~' first copies an existing file to the first free "%s.~%d~" backup name.
data_file *data_open(const char *name, const char *mode);
// Wraps an already open stream positioned at the window's first byte (the archive member or
// the file start). Takes ownership of fp, also on failure. gzip handles read their header here.
data_file *data_open_stream(FILE *fp, int32_t base, int32_t limit, int gzip, int scrambled);
// Ends the handle. For a writer, 1 only when every byte reached the file (a full disk must not
// pass for a saved file); 1 for readers; 0 for null.
int data_close(data_file *f);

int data_getc(data_file *f);           // 0..255, or -1 at the end
int data_peek(data_file *f);           // next byte, left in the push-back slot; -1 at the end
void data_ungetc(data_file *f, int c); // into the (empty) push-back slot; -1 is ignored
char *data_gets(data_file *f, char *buf, int size);
int data_read(data_file *f, void *buf, int n);
int data_seek(data_file *f, int32_t pos); // plain unscrambled handles only; 1 on success
// The formatted scan of every text format; returns the conversions assigned, or -1.
int data_scanf(data_file *f, const char *format, ...);

int data_putc(data_file *f, int c); // 1 when written
int data_puts(data_file *f, const char *s);
int data_write(data_file *f, const void *buf, int n);
int data_printf(data_file *f, const char *fmt, ...) __attribute__((format(printf, 2, 3)));
int data_flush(data_file *f);

// The whole file, zero-terminated, from zv_alloc (the caller frees it); null when it cannot be
// opened or holds 16777216 bytes or more. *length (may be null) receives the byte count.
char *file_to_string(const char *name, int *length = nullptr);

// Renames from to to ('@' names resolve to the home directory); the target is replaced
// atomically, never removed first. 1 on success.
int data_rename(const char *from, const char *to);

// Resolves a name for writing: '@' names become the home directory + rest. 1 on success, 0 when
// there is no home directory or the result does not fit in size bytes (never truncated).
int data_home_path(const char *name, char *out, size_t size);
// Creates every directory along path (each prefix before a '/'); failures are ignored.
void data_make_dirs(const char *path);

// ---- scrambled files -------------------------------------------------------------------------
// The ".scram" transform: bytes XOR a keystream that depends only on the byte's offset in the
// file, so scrambling and descrambling are the same call.
void data_scramble(void *buf, size_t n, uint64_t offset);

// ---- gzip header -----------------------------------------------------------------------------
// Parses an RFC 1952 header at the start of buf. Returns the header length, or 0 when the header
// is malformed or does not fit in len bytes.
size_t data_gzip_header(const uint8_t *buf, size_t len);
