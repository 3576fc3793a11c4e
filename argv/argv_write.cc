#include "argv/argv_write.h"

#include "support/char_class.h"

namespace {

// The stream is locked once around the whole vector, so the per-byte writes below
// must not take the lock again.
bool put(int c, FILE* stream) { return putc_unlocked(c, stream) != EOF; }

bool write_argument(const unsigned char* arg, FILE* stream) {
  if (*arg == '\0') return put('"', stream) && put('"', stream) && put('\n', stream);
  for (; *arg != '\0'; ++arg) {
    unsigned char c = *arg;
    if (c == '\n') {
      if (!put('\'', stream) || !put('\n', stream) || !put('\'', stream)) return false;
      continue;
    }
    if (char_has_class(c, CC_SPACE) || c == '\'' || c == '"' || c == '\\') {
      if (!put('\\', stream)) return false;
    }
    if (!put(c, stream)) return false;
  }
  return put('\n', stream);
}

}  // namespace

int argv_write_quoted(char* const* argv, FILE* stream) {
  if (stream == nullptr) return 1;
  int status = 0;
  flockfile(stream);
  for (; *argv != nullptr; ++argv) {
    if (!write_argument(reinterpret_cast<const unsigned char*>(*argv), stream)) {
      status = 1;
      break;
    }
  }
  funlockfile(stream);
  return status;
}
