#include "support/trace.h"

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "support/char_class.h"
#include "support/env_snapshot.h"

bool trace_enabled = false;

namespace {

// A line goes out through this fixed buffer, in one write when it fits: stderr is
// unbuffered, and a command line may be as long as the system allows, which the trace
// must not need a second copy of.
struct trace_out {
  char bytes[4096];
  size_t used;
};

void flush(trace_out* out) {
  if (out->used != 0) fwrite(out->bytes, 1, out->used, stderr);
  out->used = 0;
}

void put(trace_out* out, char c) {
  if (out->used == sizeof out->bytes) flush(out);
  out->bytes[out->used++] = c;
}

void put_octal(trace_out* out, unsigned char c) {
  put(out, '\\');
  put(out, static_cast<char>('0' + (c >> 6)));
  put(out, static_cast<char>('0' + ((c >> 3) & 7)));
  put(out, static_cast<char>('0' + (c & 7)));
}

bool continuation(const unsigned char* p, const unsigned char* end, unsigned char low = 0x80,
                  unsigned char high = 0xbf) {
  return p < end && *p >= low && *p <= high;
}

// The length of the well-formed UTF-8 sequence at p (no overlong forms, surrogates or
// values past U+10FFFF), or 0 when p starts none.
size_t utf8_length(const unsigned char* p, const unsigned char* end) {
  unsigned char c = *p;
  if (c < 0x80) return 1;
  if (c >= 0xc2 && c <= 0xdf) return continuation(p + 1, end) ? 2 : 0;
  if (c >= 0xe0 && c <= 0xef) {
    unsigned char low = c == 0xe0 ? 0xa0 : 0x80;
    unsigned char high = c == 0xed ? 0x9f : 0xbf;
    return continuation(p + 1, end, low, high) && continuation(p + 2, end) ? 3 : 0;
  }
  if (c >= 0xf0 && c <= 0xf4) {
    unsigned char low = c == 0xf0 ? 0x90 : 0x80;
    unsigned char high = c == 0xf4 ? 0x8f : 0xbf;
    return continuation(p + 1, end, low, high) && continuation(p + 2, end) && continuation(p + 3, end) ? 4 : 0;
  }
  return 0;
}

// How many bytes at p make one unit of text, and whether they must be shown escaped:
// controls of either range (a terminal acts on U+0080-U+009F as on raw C1 bytes) and
// whatever is not UTF-8. A backslash is escaped too, so an escape is never ambiguous.
size_t shown_unit(const unsigned char* p, const unsigned char* end, bool* escape) {
  size_t len = utf8_length(p, end);
  if (len == 0) {
    *escape = true;
    return 1;
  }
  *escape = len == 1 ? char_has_class(*p, CC_CNTRL) || *p == '\\' : *p == 0xc2 && p[1] < 0xa0;
  return len;
}

void put_escaped(trace_out* out, const char* text, const char* end, bool quoted) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  const unsigned char* stop = reinterpret_cast<const unsigned char*>(end);
  while (p < stop) {
    bool escape;
    size_t len = shown_unit(p, stop, &escape);
    for (size_t i = 0; i < len; ++i, ++p) {
      if (!escape && !(quoted && *p == '"')) {
        put(out, static_cast<char>(*p));
      } else if (*p == '\\' || *p == '"') {
        put(out, '\\');
        put(out, static_cast<char>(*p));
      } else {
        put_octal(out, *p);
      }
    }
  }
}

// An argument is shown as it is unless a reader could not tell where it ends or what it
// holds: then in double quotes, so that the whole command stays on one line.
bool needs_quotes(const char* arg) {
  if (*arg == '\0') return true;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(arg);
  const unsigned char* end = reinterpret_cast<const unsigned char*>(arg + strlen(arg));
  while (p < end) {
    bool escape;
    size_t len = shown_unit(p, end, &escape);
    if (escape || char_has_class(*p, CC_SPACE) || *p == '"' || *p == '\'') return true;
    p += len;
  }
  return false;
}

void put_number(trace_out* out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void put_number(trace_out* out, const char* format, ...) {
  char digits[32];
  va_list args;
  va_start(args, format);
  int n = vsnprintf(digits, sizeof digits, format, args);
  va_end(args);
  for (int i = 0; i < n && i < static_cast<int>(sizeof digits) - 1; ++i) put(out, digits[i]);
}

}  // namespace

void trace_init() {
  const char* value = env_value(ENV_QUARN_TRACE);
  trace_enabled = value != nullptr && *value != '\0';
}

void trace_line(const char* format, ...) {
  trace_out out;
  out.used = 0;
  va_list args;
  va_start(args, format);
  for (const char* f = format; *f != '\0'; ++f) {
    if (*f != '%') {
      put(&out, *f);
      continue;
    }
    switch (*++f) {
      case 's': {
        const char* s = va_arg(args, const char*);
        put_escaped(&out, s, s + strlen(s), false);
        break;
      }
      case 'c': {
        char c = static_cast<char>(va_arg(args, int));
        put_escaped(&out, &c, &c + 1, false);
        break;
      }
      case 'd':
        put_number(&out, "%d", va_arg(args, int));
        break;
      case 'u':
        put_number(&out, "%u", va_arg(args, unsigned));
        break;
      case 'l':
        ++f;  // %lu
        put_number(&out, "%lu", va_arg(args, unsigned long));
        break;
      case 'z':
        ++f;  // %zu
        put_number(&out, "%zu", va_arg(args, size_t));
        break;
      case '%':
        put(&out, '%');
        break;
      default:  // not a conversion of ours: shown as written, and the format's end kept
        put(&out, '%');
        if (*f == '\0') --f;
        else put(&out, *f);
        break;
    }
  }
  va_end(args);
  put(&out, '\n');
  flush(&out);
}

void trace_command_line(const char* label, char* const* argv) {
  trace_out out;
  out.used = 0;
  put_escaped(&out, label, label + strlen(label), false);
  for (char* const* arg = argv; *arg != nullptr; ++arg) {
    put(&out, ' ');
    bool quoted = needs_quotes(*arg);
    if (quoted) put(&out, '"');
    put_escaped(&out, *arg, *arg + strlen(*arg), quoted);
    if (quoted) put(&out, '"');
  }
  put(&out, '\n');
  flush(&out);
}
