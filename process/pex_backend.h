// The table of operating-system operations under a pipeline: the POSIX back end
// fills one, and tests pass one that records every call.
#pragma once

#include <cstdio>
#include <sys/types.h>

struct pex_pipeline;
struct pex_timing;

/// The operating-system operations of a pipeline. finish may be null. spawn_child takes
/// the parent's copies of in, out and err (but 0, 1 and 2): it closes them whether or
/// not a child starts. open_for_read, open_for_write and make_pipe give close-on-exec
/// descriptors above 2, so that a child gets only what spawn_child puts in place of its
/// standard streams, and no descriptor of the pipeline is taken for the caller's own.
struct pex_backend {
  int (*open_for_read)(pex_pipeline* p, const char* name, int binary);
  int (*open_for_write)(pex_pipeline* p, const char* name, int binary, int append);
  pid_t (*spawn_child)(pex_pipeline* p, int stage_flags, const char* executable, char* const* argv,
                       char* const* environment, int in, int out, int err, int child_close,
                       const char** message, int* error_code);
  int (*close_fd)(pex_pipeline* p, int fd);
  int (*wait_child)(pex_pipeline* p, pid_t pid, int* status, pex_timing* timing, int kill_first,
                    const char** message, int* error_code);
  int (*make_pipe)(pex_pipeline* p, int fds[2], int binary);
  FILE* (*stream_for_read)(pex_pipeline* p, int fd, int binary);
  FILE* (*stream_for_write)(pex_pipeline* p, int fd, int binary);
  void (*finish)(pex_pipeline* p);
};
