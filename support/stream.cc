#include "support/stream.h"

FILE* stream_open_unlocked(const char* name, const char* mode) { return fopen(name, mode); }

FILE* stream_fdopen_unlocked(int fd, const char* mode) { return fdopen(fd, mode); }

FILE* stream_reopen_unlocked(const char* name, const char* mode, FILE* stream) {
  return freopen(name, mode, stream);
}

void stream_unlock(FILE*) {}

void std_streams_unlock(void) {}
