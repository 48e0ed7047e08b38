/* Refuses one allocation of any kind: the $FAIL_NTH (1 for the first)
 * allocation of exactly $FAIL_SIZE bytes (of any size when FAIL_SIZE is
 * unset or "any")
 * made on the main thread ($FAIL_THREAD=main) or on any other
 * ($FAIL_THREAD=helper). FAIL_NTH=0 refuses none, and with $FAIL_COUNT_FILE
 * set the number of matching allocations is written there at exit, so a
 * test can refuse each of them in turn. malloc, calloc, realloc,
 * aligned_alloc and posix_memalign are covered (operator new comes through
 * them); everything else goes to the allocator that would have served it.
 * Not for the sanitizer builds, whose allocator stands before it.
 * Loaded through LD_PRELOAD. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <unistd.h>

static atomic_long matching;

/* Nothing is refused until every next function is known: a refusal inside
 * dlsym would end in the shim's own free looking itself up again. */
static atomic_int ready;

static int refuses(size_t size) {
  if (!atomic_load(&ready)) return 0;
  const char* wanted_size = getenv("FAIL_SIZE");
  if (wanted_size != NULL && strcmp(wanted_size, "any") != 0 && strtoull(wanted_size, NULL, 10) != size) return 0;
  const char* thread = getenv("FAIL_THREAD");
  const int on_main = syscall(SYS_gettid) == getpid();
  if (thread != NULL && (strcmp(thread, "main") == 0) != on_main) return 0;
  const char* nth = getenv("FAIL_NTH");
  const long count = atomic_fetch_add(&matching, 1) + 1;
  return count == (nth != NULL ? strtol(nth, NULL, 10) : 1);
}

__attribute__((destructor)) static void report_count(void) {
  const char* path = getenv("FAIL_COUNT_FILE");
  if (path == NULL) return;
  FILE* file = fopen(path, "w");
  if (file == NULL) return;
  fprintf(file, "%ld\n", atomic_load(&matching));
  fclose(file);
}

typedef void* (*malloc_type)(size_t);
typedef void (*free_type)(void*);
typedef void* (*realloc_type)(void*, size_t);
typedef void* (*aligned_alloc_type)(size_t, size_t);
typedef int (*posix_memalign_type)(void**, size_t, size_t);

/* The functions the next library in the search order gives, looked up
 * once, before the program runs. */
static malloc_type next_malloc;
static free_type next_free;
static realloc_type next_realloc;
static aligned_alloc_type next_aligned_alloc;
static posix_memalign_type next_posix_memalign;

#define NEXT(name) \
  if (next_##name == NULL) next_##name = (name##_type)dlsym(RTLD_NEXT, #name)

__attribute__((constructor)) static void look_up_next(void) {
  NEXT(malloc);
  NEXT(free);
  NEXT(realloc);
  NEXT(aligned_alloc);
  NEXT(posix_memalign);
  atomic_store(&ready, 1);
}

void* malloc(size_t size) {
  NEXT(malloc);
  if (refuses(size)) {
    errno = ENOMEM;
    return NULL;
  }
  return next_malloc(size);
}

void* realloc(void* block, size_t size) {
  NEXT(realloc);
  if (refuses(size)) {
    errno = ENOMEM;
    return NULL;
  }
  return next_realloc(block, size);
}

/* dlsym itself may call calloc before the real one is known: those first
 * calls are served from a small static arena that is never freed. */
static char early_arena[4096];
static size_t early_used;

void* calloc(size_t count, size_t size) {
  static void* (*next_calloc)(size_t, size_t);
  static int looking_up;
  if (next_calloc == NULL) {
    if (looking_up) {
      const size_t bytes = (count * size + 15) & ~(size_t)15;
      if (early_used + bytes > sizeof early_arena) return NULL;
      void* block = early_arena + early_used;
      early_used += bytes;
      return block;
    }
    looking_up = 1;
    next_calloc = (void* (*)(size_t, size_t))dlsym(RTLD_NEXT, "calloc");
    looking_up = 0;
  }
  if (refuses(count * size)) {
    errno = ENOMEM;
    return NULL;
  }
  return next_calloc(count, size);
}

void free(void* block) {
  NEXT(free);
  if ((char*)block >= early_arena && (char*)block < early_arena + sizeof early_arena) return;
  next_free(block);
}

void* aligned_alloc(size_t alignment, size_t size) {
  NEXT(aligned_alloc);
  if (refuses(size)) {
    errno = ENOMEM;
    return NULL;
  }
  return next_aligned_alloc(alignment, size);
}

int posix_memalign(void** block, size_t alignment, size_t size) {
  NEXT(posix_memalign);
  if (refuses(size)) return ENOMEM;
  return next_posix_memalign(block, alignment, size);
}
