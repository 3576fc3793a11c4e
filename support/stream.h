// Stream openers that leave locking to the library, and two no-op unlock calls.
//
// The names promise unlocked streams; on our platforms the plain calls are used as
// they are, so each opener returns exactly what the library call returns.
#pragma once

#include <cstdio>

/// Returns fopen(name, mode).
FILE* stream_open_unlocked(const char* name, const char* mode);
/// Returns fdopen(fd, mode).
FILE* stream_fdopen_unlocked(int fd, const char* mode);
/// Returns freopen(name, mode, stream).
FILE* stream_reopen_unlocked(const char* name, const char* mode, FILE* stream);
/// Does nothing.
void stream_unlock(FILE* stream);
/// Does nothing.
void std_streams_unlock(void);
