#include "support/checked_alloc.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

extern char** environ;

const char* alloc_program_name = "";
void* alloc_heap_start = nullptr;
void (*exit_cleanup_hook)(void) = nullptr;

void* checked_alloc(size_t size) {
  if (size == 0) size = 1;
  void* block = malloc(size);
  if (block == nullptr) alloc_failed(size);
  return block;
}

void* checked_calloc(size_t count, size_t size) {
  if (count == 0 || size == 0) count = size = 1;
  void* block = calloc(count, size);
  // The reported size wraps like the request did; calloc itself refuses an overflow.
  if (block == nullptr) alloc_failed(count * size);
  return block;
}

void* checked_realloc(void* old, size_t size) {
  if (size == 0) size = 1;
  void* block = old == nullptr ? malloc(size) : realloc(old, size);
  if (block == nullptr) alloc_failed(size);
  return block;
}

char* checked_strdup(const char* text) {
  size_t size = strlen(text) + 1;
  return static_cast<char*>(memcpy(checked_alloc(size), text, size));
}

void alloc_failed(size_t size) {
  char* brk_now = static_cast<char*>(sbrk(0));
  // Without a recorded start, environ sits at the start of the uninitialised data
  // on the systems we run on, which makes it a fair base for "how much so far".
  char* start = alloc_heap_start != nullptr ? static_cast<char*>(alloc_heap_start)
                                            : reinterpret_cast<char*>(&environ);
  unsigned long total = static_cast<unsigned long>(brk_now - start);
  fprintf(stderr, "\n%s%sout of memory allocating %lu bytes after a total of %lu bytes\n",
          alloc_program_name, *alloc_program_name != '\0' ? ": " : "",
          static_cast<unsigned long>(size), total);
  exit_program(1);
}

void set_alloc_program_name(const char* name) {
  alloc_program_name = name;
  if (alloc_heap_start == nullptr) alloc_heap_start = sbrk(0);
}

void exit_program(int status) {
  if (exit_cleanup_hook != nullptr) exit_cleanup_hook();
  exit(status);
}
