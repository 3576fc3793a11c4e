#include "support/checked_alloc.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

const char* alloc_program_name = "";
// Counted by the allocators themselves rather than read off the program break: malloc
// may serve everything by mmap, and some systems have no sbrk at all.
unsigned long alloc_total = 0;
unsigned long alloc_total_at_naming = 0;
void (*exit_cleanup_hook)(void) = nullptr;

namespace {

bool named = false;

void* handed_out(void* block, size_t size) {
  if (block == nullptr) alloc_failed(size);
  alloc_total += size;
  return block;
}

}  // namespace

void* checked_alloc(size_t size) {
  if (size == 0) size = 1;
  return handed_out(malloc(size), size);
}

void* checked_calloc(size_t count, size_t size) {
  if (count == 0 || size == 0) count = size = 1;
  // The reported size wraps like the request did; calloc itself refuses an overflow.
  return handed_out(calloc(count, size), count * size);
}

void* checked_realloc(void* old, size_t size) {
  if (size == 0) size = 1;
  return handed_out(old == nullptr ? malloc(size) : realloc(old, size), size);
}

char* checked_strdup(const char* text) {
  size_t size = strlen(text) + 1;
  return static_cast<char*>(memcpy(checked_alloc(size), text, size));
}

void alloc_failed(size_t size) {
  fprintf(stderr, "\n%s%sout of memory allocating %lu bytes after a total of %lu bytes\n",
          alloc_program_name, *alloc_program_name != '\0' ? ": " : "",
          static_cast<unsigned long>(size), alloc_total - alloc_total_at_naming);
  exit_program(1);
}

void set_alloc_program_name(const char* name) {
  alloc_program_name = name;
  if (!named) alloc_total_at_naming = alloc_total;
  named = true;
}

void exit_program(int status) {
  if (exit_cleanup_hook != nullptr) exit_cleanup_hook();
  exit(status);
}

void exit_with_message(const char* format, ...) {
  // Formatted apart and written whole: stderr is unbuffered, and a message that names
  // a path can be longer than the room kept for it here.
  char room[256];
  char* text = room;
  va_list args, again;
  va_start(args, format);
  va_copy(again, args);
  int length = vsnprintf(room, sizeof room, format, args);
  if (length >= static_cast<int>(sizeof room)) {
    text = static_cast<char*>(checked_alloc(static_cast<size_t>(length) + 1));
    vsnprintf(text, static_cast<size_t>(length) + 1, format, again);
  }
  va_end(again);
  va_end(args);
  if (length > 0) fputs(text, stderr);
  exit_program(1);
}
