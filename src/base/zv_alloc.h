// The four allocation wrappers every module uses. A failed allocation ends the program with the
// "Out of virtual memory" message box and exit code 1. With ZV_CHECK_ALLOC above 0 in the
// environment, live blocks are tracked and anything left unfreed is reported at shutdown.
#pragma once

#include <cstddef>

void *zv_alloc(size_t size);
void *zv_alloc_zeroed(size_t count, size_t size);
void *zv_realloc(void *p, size_t size);
void zv_free(void *p);
// Prints every block still recorded as "%p:%d\n" to standard error (allocation checker on).
void zv_alloc_report(void);

// Turns the checker on or off regardless of ZV_CHECK_ALLOC (tests, tools). Turning it off
// forgets every recorded block; blocks recorded before stay valid and free normally.
void zv_alloc_set_checking(int on);
// Number of blocks the checker currently records (0 when it is off).
int zv_alloc_live_count(void);
