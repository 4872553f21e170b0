// Pieces shared by the handle code and the gzip reader (not for other modules).
#pragma once

#include "data/data_file.h"

// Up to n bytes of the window as stored (descrambled when scrambled); 0 at the window's end.
size_t data_raw_read(data_file *f, void *buf, size_t n);
// Reads the gzip header from the first input block and starts the inflater; 1 on success.
int data_gzip_start(data_file *f);
// Refills the output buffer; 0 when the stream has ended (or failed, which is logged).
int data_gzip_fill(data_file *f);
void data_gzip_end(data_file *f);
