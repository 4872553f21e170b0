// The reader over a scrambled stream (see data_scramble in data_file.h).
#pragma once

#include <cstddef>
#include <cstdio>

#include "data/data_file.h"

// Created over fp positioned at the data's first byte; the stream stays the caller's.
data_descrambler *data_descrambler_open(FILE *fp);
// Up to n plain bytes; fewer at the end of the stream.
size_t data_descrambler_read(data_descrambler *d, void *buf, size_t n);
void data_descrambler_close(data_descrambler *d);
