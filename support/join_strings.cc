#include "support/join_strings.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "support/checked_alloc.h"

char* shared_join_buffer = nullptr;

namespace {

size_t list_length(const char* first, va_list args) {
  size_t total = 0;
  for (const char* s = first; s != nullptr; s = va_arg(args, const char*)) total += strlen(s);
  return total;
}

char* list_copy(char* dest, const char* first, va_list args) {
  char* end = dest;
  for (const char* s = first; s != nullptr; s = va_arg(args, const char*)) {
    size_t n = strlen(s);
    memcpy(end, s, n);
    end += n;
  }
  *end = '\0';
  return dest;
}

// Measures and copies in two walks over the same list, into one exact block.
char* list_join(const char* first, va_list args) {
  va_list again;
  va_copy(again, args);
  char* dest = static_cast<char*>(checked_alloc(list_length(first, args) + 1));
  list_copy(dest, first, again);
  va_end(again);
  return dest;
}

}  // namespace

size_t join_strings_length(const char* first, ...) {
  va_list args;
  va_start(args, first);
  size_t total = list_length(first, args);
  va_end(args);
  return total;
}

char* join_strings_into(char* dest, const char* first, ...) {
  va_list args;
  va_start(args, first);
  list_copy(dest, first, args);
  va_end(args);
  return dest;
}

char* join_strings_shared(const char* first, ...) {
  va_list args;
  va_start(args, first);
  list_copy(shared_join_buffer, first, args);
  va_end(args);
  return shared_join_buffer;
}

char* join_strings(const char* first, ...) {
  va_list args;
  va_start(args, first);
  char* joined = list_join(first, args);
  va_end(args);
  return joined;
}

char* join_strings_replacing(char* old, const char* first, ...) {
  va_list args;
  va_start(args, first);
  char* joined = list_join(first, args);
  va_end(args);
  // Freed only now: old may be one of the strings just copied.
  free(old);
  return joined;
}
