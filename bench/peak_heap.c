/* Loaded into a program with LD_PRELOAD by the benchmarks: keeps the number of
 * bytes the program holds from malloc at once (live allocations by their usable
 * size) and, at exit, appends its peak to the file named by
 * AEROLITH_BENCH_HEAP. Mappings the program makes itself, the launcher's image
 * among them, are not counted: what remains is what contents, decoders and
 * the files map need. Thread stacks (a few pages touched each) are left out too. */
#define _GNU_SOURCE
#include <malloc.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>

extern void* __libc_malloc(size_t size);
extern void* __libc_calloc(size_t count, size_t size);
extern void* __libc_realloc(void* block, size_t size);
extern void* __libc_memalign(size_t alignment, size_t size);
extern void __libc_free(void* block);

static atomic_size_t live;
static atomic_size_t peak;

static void* counted(void* block) {
  if (block == NULL) return NULL;
  const size_t now = atomic_fetch_add(&live, malloc_usable_size(block)) + malloc_usable_size(block);
  size_t seen = atomic_load(&peak);
  while (now > seen && !atomic_compare_exchange_weak(&peak, &seen, now)) {
  }
  return block;
}

static void uncounted(void* block) {
  if (block != NULL) atomic_fetch_sub(&live, malloc_usable_size(block));
}

void* malloc(size_t size) { return counted(__libc_malloc(size)); }
void* calloc(size_t count, size_t size) { return counted(__libc_calloc(count, size)); }
void* memalign(size_t alignment, size_t size) { return counted(__libc_memalign(alignment, size)); }
void* aligned_alloc(size_t alignment, size_t size) { return memalign(alignment, size); }
void* valloc(size_t size) { return memalign(4096, size); }

int posix_memalign(void** block, size_t alignment, size_t size) {
  *block = memalign(alignment, size);
  return *block == NULL ? 12 /* ENOMEM */ : 0;
}

void free(void* block) {
  uncounted(block);
  __libc_free(block);
}

void* realloc(void* block, size_t size) {
  const size_t before = block != NULL ? malloc_usable_size(block) : 0;
  void* moved = __libc_realloc(block, size);
  if (moved == NULL && size != 0) return NULL;  /* the old block stays */
  atomic_fetch_sub(&live, before);
  return counted(moved);
}

__attribute__((destructor)) static void report(void) {
  const char* file = getenv("AEROLITH_BENCH_HEAP");
  FILE* out = file != NULL ? fopen(file, "a") : NULL;
  if (out == NULL) return;
  fprintf(out, "%zu\n", atomic_load(&peak));
  fclose(out);
}
