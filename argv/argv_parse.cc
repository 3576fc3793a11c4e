#include "argv/argv_parse.h"

#include <array>
#include <cstdlib>
#include <cstring>

#include "argv/argv_bytes.h"
#include "support/char_class.h"
#include "support/checked_alloc.h"

namespace {

using byte = unsigned char;

bool is_space(byte c) { return char_has_class(c, CC_SPACE); }

bool ends_plain_run(byte c) { return argv_special_byte[c]; }

bool ends_double_quoted_run(byte c) { return c == '\0' || c == '"' || c == '\\'; }

// After a backslash inside double quotes: the only bytes it escapes, and the end.
bool escapable_in_double_quotes(byte c) {
  return c == '\0' || c == '$' || c == '`' || c == '"' || c == '\\' || c == '\n';
}

// The text is NUL-terminated at end, so looking one byte ahead never leaves it.
struct cursor {
  const byte* p;
  const byte* end;
  char* out;
};

void copy_run(cursor* c, const byte* run_end) {
  size_t n = static_cast<size_t>(run_end - c->p);
  memcpy(c->out, c->p, n);
  c->out += n;
  c->p = run_end;
}

// The byte after a dropped backslash: a newline goes with it, anything else is kept.
void take_escaped(cursor* c) {
  if (c->p == c->end) return;
  if (*c->p != '\n') *c->out++ = static_cast<char>(*c->p);
  ++c->p;
}

void read_single_quoted(cursor* c) {
  const void* quote = memchr(c->p, '\'', static_cast<size_t>(c->end - c->p));
  copy_run(c, quote != nullptr ? static_cast<const byte*>(quote) : c->end);
  if (c->p != c->end) ++c->p;
}

void read_double_quoted(cursor* c) {
  while (c->p != c->end) {
    byte b = *c->p;
    if (b == '"') {
      ++c->p;
      return;
    }
    if (b == '\\') {
      ++c->p;
      if (escapable_in_double_quotes(*c->p)) {
        take_escaped(c);
      } else {
        *c->out++ = '\\';
      }
      continue;
    }
    const byte* run = c->p + 1;
    while (!ends_double_quoted_run(*run)) ++run;
    copy_run(c, run);
  }
}

// Reads one argument that starts at a byte which is neither white space nor the end.
void read_argument(cursor* c) {
  while (c->p != c->end) {
    byte b = *c->p;
    if (b == '\\') {
      ++c->p;
      take_escaped(c);
    } else if (b == '\'') {
      ++c->p;
      read_single_quoted(c);
    } else if (b == '"') {
      ++c->p;
      read_double_quoted(c);
    } else if (is_space(b)) {
      return;
    } else {
      const byte* run = c->p + 1;
      while (!ends_plain_run(*run)) ++run;
      copy_run(c, run);
    }
  }
}

const byte* skip_space(const byte* p) {
  while (is_space(*p)) ++p;
  return p;
}

}  // namespace

char** argv_parse(const char* text) {
  if (text == nullptr) return nullptr;
  size_t length = strlen(text);
  // Quotes and escapes only ever drop bytes, so no argument outgrows the text.
  char* scratch = static_cast<char*>(checked_alloc(length + 1));
  cursor c = {reinterpret_cast<const byte*>(text), reinterpret_cast<const byte*>(text) + length, scratch};

  char** argv = nullptr;
  size_t capacity = 0;
  size_t argc = 0;
  c.p = skip_space(c.p);
  for (;;) {
    // One entry is always kept free for the terminating null.
    if (capacity == 0) {
      capacity = 8;
      argv = static_cast<char**>(checked_alloc(capacity * sizeof(char*)));
    } else if (argc >= capacity - 1) {
      capacity *= 2;
      argv = static_cast<char**>(checked_realloc(argv, capacity * sizeof(char*)));
    }
    argv[argc] = nullptr;
    if (c.p == c.end) break;

    c.out = scratch;
    read_argument(&c);
    size_t size = static_cast<size_t>(c.out - scratch);
    char* arg = static_cast<char*>(checked_alloc(size + 1));
    memcpy(arg, scratch, size);
    arg[size] = '\0';
    argv[argc++] = arg;
    argv[argc] = nullptr;

    c.p = skip_space(c.p);
    if (c.p == c.end) break;
  }
  free(scratch);
  return argv;
}
