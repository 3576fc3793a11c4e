#include "argv/argv_write.h"

#include <array>
#include <cstring>

#include "argv/argv_bytes.h"
#include "support/char_class.h"

namespace {

using byte = unsigned char;

// Bytes that need more than themselves in the output, and the NUL that ends the
// argument.
bool needs_care(byte c) { return argv_special_byte[c]; }

// The text goes out in chunks rather than byte by byte: one stream call (and one
// stream lock) per chunk instead of per byte.
struct chunk_writer {
  FILE* stream;
  size_t used;
  char data[8192];
};

// fwrite's count does not tell every failure: on a line-buffered stream glibc counts
// the bytes as written when the flush after a newline fails. The error indicator does
// tell, for one more lock per chunk.
bool put(FILE* stream, const void* bytes, size_t n) {
  return fwrite(bytes, 1, n, stream) == n && !ferror(stream);
}

bool flush(chunk_writer* w) {
  size_t n = w->used;
  w->used = 0;
  return put(w->stream, w->data, n);
}

bool append(chunk_writer* w, const void* bytes, size_t n) {
  if (n > sizeof w->data - w->used) {
    if (!flush(w)) return false;
    if (n > sizeof w->data) return put(w->stream, bytes, n);
  }
  memcpy(w->data + w->used, bytes, n);
  w->used += n;
  return true;
}

bool write_argument(const byte* arg, chunk_writer* w) {
  if (*arg == '\0') return append(w, "\"\"\n", 3);
  for (;;) {
    const byte* run = arg;
    while (!needs_care(*run)) ++run;
    if (!append(w, arg, static_cast<size_t>(run - arg))) return false;
    if (*run == '\0') break;
    // A backslash-newline pair would be read as a line continuation and dropped;
    // inside single quotes the newline is kept as it is.
    bool ok = *run == '\n' ? append(w, "'\n'", 3) : append(w, "\\", 1) && append(w, run, 1);
    if (!ok) return false;
    arg = run + 1;
  }
  return append(w, "\n", 1);
}

}  // namespace

int argv_write_quoted(char* const* argv, FILE* stream) {
  if (stream == nullptr) return 1;
  chunk_writer w;
  w.stream = stream;
  w.used = 0;
  for (; *argv != nullptr; ++argv) {
    if (!write_argument(reinterpret_cast<const byte*>(*argv), &w)) return 1;
  }
  // Hand the rest to the stream; flushing the stream itself is the caller's choice.
  return w.used == 0 || flush(&w) ? 0 : 1;
}
