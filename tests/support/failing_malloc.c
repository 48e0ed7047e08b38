/* Refuses one allocation: the $FAIL_NTH (1 for the first) malloc or realloc
 * of exactly $FAIL_SIZE bytes made on the main thread ($FAIL_THREAD=main) or
 * on any other ($FAIL_THREAD=helper). Everything else goes to the allocator
 * that would have served it. Loaded through LD_PRELOAD. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdatomic.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <unistd.h>

static atomic_long matching;

static int refuses(size_t size) {
  const char* wanted_size = getenv("FAIL_SIZE");
  if (wanted_size == NULL || strtoull(wanted_size, NULL, 10) != size) return 0;
  const char* thread = getenv("FAIL_THREAD");
  const int on_main = syscall(SYS_gettid) == getpid();
  if (thread != NULL && (strcmp(thread, "main") == 0) != on_main) return 0;
  const char* nth = getenv("FAIL_NTH");
  const long count = atomic_fetch_add(&matching, 1) + 1;
  return count == (nth != NULL ? strtol(nth, NULL, 10) : 1);
}

void* malloc(size_t size) {
  static void* (*next)(size_t);
  if (next == NULL) next = (void* (*)(size_t))dlsym(RTLD_NEXT, "malloc");
  if (refuses(size)) {
    errno = ENOMEM;
    return NULL;
  }
  return next(size);
}

void* realloc(void* block, size_t size) {
  static void* (*next)(void*, size_t);
  if (next == NULL) next = (void* (*)(void*, size_t))dlsym(RTLD_NEXT, "realloc");
  if (refuses(size)) {
    errno = ENOMEM;
    return NULL;
  }
  return next(block, size);
}
