// Darwin's <malloc/malloc.h>, the part the benchmarks use, for the Darwin pass of
// scripts/libcxx-check.sh.
#pragma once
#include <stddef.h>
extern "C" {
typedef struct _malloc_zone_t malloc_zone_t;
typedef struct malloc_statistics_t
{
    unsigned blocks_in_use;
    size_t size_in_use;
    size_t max_size_in_use;
    size_t size_allocated;
} malloc_statistics_t;
void malloc_zone_statistics(malloc_zone_t *zone, malloc_statistics_t *stats);
malloc_zone_t *malloc_default_zone(void);
size_t malloc_size(const void *ptr);
}
