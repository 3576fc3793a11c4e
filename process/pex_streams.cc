#include "process/pex_streams.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "process/pex_backend.h"
#include "process/pex_pipeline_internal.h"
#include "support/checked_alloc.h"

namespace {

// The first stage's input can only be chosen while nothing has been started or chosen,
// and while the pipeline is not complete: a final stage that failed has started nothing.
bool input_still_open(const pex_pipeline* p) {
  return p->child_count == 0 && p->next_stdin_fd == 0 && p->next_stdin_name == nullptr;
}

// Keeps stream in *slot for pex_destroy to close. A stream already there stays the
// caller's to read, so it is kept as well rather than closed or forgotten.
FILE* keep_stream(pex_pipeline* p, FILE** slot, FILE* stream) {
  if (*slot != nullptr) {
    size_t count = static_cast<size_t>(p->earlier_stream_count) + 1;
    p->earlier_streams = static_cast<FILE**>(checked_realloc(p->earlier_streams, count * sizeof(FILE*)));
    p->earlier_streams[p->earlier_stream_count++] = *slot;
  }
  *slot = stream;
  return stream;
}

// Wraps a read end the pipeline holds; a descriptor that cannot be wrapped is
// closed rather than lost, since the caller only learns of the stream.
FILE* read_stream(pex_pipeline* p, int fd, int binary) {
  FILE* stream = p->backend->stream_for_read(p, fd, binary);
  if (stream == nullptr) {
    int saved = errno;
    p->backend->close_fd(p, fd);
    errno = saved;
  }
  return stream;
}

}  // namespace

int pex_get_timings(pex_pipeline* p, int n, pex_timing* timings) {
  // Collects as pex_get_status does, and likewise hands out nothing for a failed wait.
  if (!pex_get_status(p, 0, nullptr)) return 0;
  if (p->timings == nullptr) return 0;
  for (int i = 0; i < n; ++i) timings[i] = i < p->child_count ? p->timings[i] : pex_timing{0, 0, 0, 0};
  return 1;
}

FILE* pex_set_input_file(pex_pipeline* p, int stage_flags, const char* name) {
  if (!input_still_open(p)) {
    errno = EINVAL;
    return nullptr;
  }
  char* file = pex_temp_name(p, stage_flags, name);
  if (file == nullptr) return nullptr;
  bool made = file != name;
  // pex_temp_name makes a fresh file unless it joined the caller's suffix to the base,
  // a name that may be anyone's file or directory.
  bool created = made && (name == nullptr || p->temp_name_base == nullptr);
  FILE* stream = fopen(file, (stage_flags & PEX_OUTPUT_BINARY) ? "wb" : "w");
  if (stream == nullptr) {
    int saved = errno;
    // No one else knows a fresh name, so the file would outlive everything.
    if (created && !(p->pipeline_flags & PEX_KEEP_TEMPS)) remove(file);
    if (made) free(file);
    errno = saved;
    return nullptr;
  }
  p->input_stream = stream;
  // Once the first stage has read a name made here, no one but the pipeline knows it.
  pex_pend_input_name(p, file, made, made && !(p->pipeline_flags & PEX_KEEP_TEMPS));
  return stream;
}

FILE* pex_open_input_pipe(pex_pipeline* p, int binary) {
  if (!input_still_open(p) || !(p->pipeline_flags & PEX_VIA_PIPES)) {
    errno = EINVAL;
    return nullptr;
  }
  int fds[2];
  int bin = binary != 0 ? 1 : 0;
  if (p->backend->make_pipe(p, fds, bin) < 0) return nullptr;
  FILE* stream = p->backend->stream_for_write(p, fds[1], bin);
  if (stream == nullptr) {
    int saved = errno;
    p->backend->close_fd(p, fds[0]);
    p->backend->close_fd(p, fds[1]);
    errno = saved;
    return nullptr;
  }
  p->next_stdin_fd = fds[0];
  return stream;
}

FILE* pex_open_stdout(pex_pipeline* p, int binary) {
  if (p->next_stdin_name != nullptr) {
    // The last stage wrote a file: it is complete only once the children are gone.
    const char* message;
    int error_code;
    if (!pex_collect_children(p, 0, &message, &error_code)) {
      errno = error_code;
      return nullptr;
    }
    FILE* stream = fopen(p->next_stdin_name, binary ? "rb" : "r");
    // Kept by the pipeline, so no later child may inherit it.
    if (stream != nullptr) fcntl(fileno(stream), F_SETFD, FD_CLOEXEC);
    pex_clear_input_name(p);
    return keep_stream(p, &p->stdout_stream, stream);
  }
  if (p->next_stdin_fd > 0) {
    int fd = p->next_stdin_fd;
    p->next_stdin_fd = -1;
    return keep_stream(p, &p->stdout_stream, read_stream(p, fd, binary));
  }
  return nullptr;
}

FILE* pex_open_stderr(pex_pipeline* p, int binary) {
  if (p->stderr_read_fd <= 0) return nullptr;
  int fd = p->stderr_read_fd;
  p->stderr_read_fd = -1;
  return keep_stream(p, &p->stderr_stream, read_stream(p, fd, binary));
}
