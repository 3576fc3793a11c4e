#include "process/pex_pipeline.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "process/pex_backend.h"
#include "process/pex_pipeline_internal.h"
#include "support/checked_alloc.h"
#include "support/join_strings.h"
#include "support/temp_file.h"

namespace {

int flag(int flags, int which) { return (flags & which) != 0 ? 1 : 0; }

// Resizes array to count entries of size bytes: the pipeline's own slot holds the first,
// a block takes over from the second on.
void* grow(void* array, void* own_slot, size_t count, size_t size) {
  if (count == 1) return own_slot;
  if (array != own_slot) return checked_realloc(array, count * size);
  return memcpy(checked_alloc(count * size), own_slot, size);
}

void record_child(pex_pipeline* p, pid_t pid) {
  size_t count = static_cast<size_t>(p->child_count) + 1;
  p->child_ids = static_cast<pid_t*>(grow(p->child_ids, &p->first_child_id, count, sizeof(pid_t)));
  p->child_ids[p->child_count++] = pid;
}

// A wait status fits in 16 bits, so this marks a child whose wait failed for good.
constexpr int32_t kNoStatus = -1;

// The refusals that need no system call. They come before anything is touched, so that
// a refused stage changes nothing: the caller can take a pending error pipe and try
// again, and no earlier child is waited for only to be refused.
const char* refusal(const pex_pipeline* p, int stage_flags, const char* error_name) {
  if (p->next_stdin_fd < 0) return "pipeline already complete";
  if (error_name != nullptr && (stage_flags & PEX_STDERR_TO_PIPE))
    return "both ERRNAME and PEX_STDERR_TO_PIPE specified.";
  // The pipeline holds one pending error read end; pex_open_stderr must take it first.
  if (p->stderr_read_fd != -1) return "PEX_STDERR_TO_PIPE used in the middle of pipeline";
  return nullptr;
}

// Sets *in to what the stage reads: the pending input file, or next_stdin_fd (a pipe's
// read end, or the caller's standard input). Null, or a message.
const char* open_stage_input(pex_pipeline* p, int stage_flags, int* in, int* error_code) {
  if (p->next_stdin_name == nullptr) {
    *in = p->next_stdin_fd;
    // The stage closes this read end or hands it to the child, whatever happens next:
    // a number the pipeline kept could by then be a file of the caller's.
    if (*in > 0) p->next_stdin_fd = -1;
    return nullptr;
  }
  // The file is complete only once every writer has exited.
  const char* message;
  if (!pex_collect_children(p, 0, &message, error_code)) return message;
  *in = p->backend->open_for_read(p, p->next_stdin_name, flag(stage_flags, PEX_INPUT_BINARY));
  if (*in < 0) {
    *error_code = errno;
    return "open temporary file";
  }
  pex_clear_input_name(p);
  return nullptr;
}

// Stores fd in *out; null, or the message for a failed open with the code in *error_code.
const char* opened_output(int fd, int* out, int* error_code) {
  *out = fd;
  if (fd >= 0) return nullptr;
  *error_code = errno;
  return "open temporary output file";
}

// A final stage writes the caller's standard output, or its output file, joined to the
// base when PEX_OUTNAME_SUFFIX is set.
const char* open_final_output(pex_pipeline* p, int stage_flags, const char* output_name, int* out,
                              int* error_code) {
  // Complete from here on, whether or not this stage starts.
  p->next_stdin_fd = -1;
  if (output_name == nullptr) {
    *out = 1;
    return nullptr;
  }
  int binary = flag(stage_flags, PEX_OUTPUT_BINARY);
  int append = flag(stage_flags, PEX_OUTPUT_APPEND);
  if (!(stage_flags & PEX_OUTNAME_SUFFIX))
    return opened_output(p->backend->open_for_write(p, output_name, binary, append), out, error_code);
  // Without a base the joined name is empty and the open fails.
  char* joined = join_strings(p->temp_name_base, output_name, nullptr);
  int fd = p->backend->open_for_write(p, joined, binary, append);
  int saved = errno;
  free(joined);
  errno = saved;
  return opened_output(fd, out, error_code);
}

// An earlier stage writes into a pipe whose read end the next stage takes.
const char* open_output_pipe(pex_pipeline* p, int stage_flags, int* out, int* error_code) {
  int fds[2];
  if (p->backend->make_pipe(p, fds, flag(stage_flags, PEX_OUTPUT_BINARY)) < 0) {
    *error_code = errno;
    return "pipe";
  }
  *out = fds[1];
  p->next_stdin_fd = fds[0];
  return nullptr;
}

// Without pipes, an earlier stage writes a file that becomes the next stage's input.
const char* open_output_file(pex_pipeline* p, int stage_flags, const char* output_name, int* out,
                             int* error_code) {
  char* name = pex_temp_name(p, stage_flags, output_name);
  if (name == nullptr) {
    *error_code = 0;
    return "could not create temporary file";
  }
  // The caller's own string stays pending: it must live until the next stage.
  pex_pend_input_name(p, name, name != output_name, !(p->pipeline_flags & PEX_KEEP_TEMPS));
  int fd = p->backend->open_for_write(p, name, flag(stage_flags, PEX_OUTPUT_BINARY),
                                      flag(stage_flags, PEX_OUTPUT_APPEND));
  return opened_output(fd, out, error_code);
}

// Sets *out to what the stage writes. Null, or a message.
const char* open_stage_output(pex_pipeline* p, int stage_flags, const char* output_name, int* out,
                              int* error_code) {
  if (stage_flags & PEX_FINAL) return open_final_output(p, stage_flags, output_name, out, error_code);
  if (p->pipeline_flags & PEX_VIA_PIPES) return open_output_pipe(p, stage_flags, out, error_code);
  return open_output_file(p, stage_flags, output_name, out, error_code);
}

// Sets *err to the stage's standard error: the error file, a pipe whose read end waits
// for pex_open_stderr, or the caller's standard error. Null, or a message.
const char* open_stage_error(pex_pipeline* p, int stage_flags, const char* error_name, int* err,
                             int* error_code) {
  if (error_name != nullptr) {
    *err = p->backend->open_for_write(p, error_name, flag(stage_flags, PEX_ERROR_BINARY),
                                      flag(stage_flags, PEX_ERROR_APPEND));
    if (*err < 0) {
      *error_code = errno;
      return "open error file";
    }
  } else if (stage_flags & PEX_STDERR_TO_PIPE) {
    int fds[2];
    if (p->backend->make_pipe(p, fds, flag(stage_flags, PEX_ERROR_BINARY)) < 0) {
      *error_code = errno;
      return "pipe";
    }
    *err = fds[1];
    p->stderr_read_fd = fds[0];
  } else {
    *err = 2;
  }
  return nullptr;
}

}  // namespace

void pex_pend_input_name(pex_pipeline* p, char* name, bool made, bool remove) {
  if (remove) {
    size_t count = static_cast<size_t>(p->temp_file_count) + 1;
    p->temp_files = static_cast<char**>(checked_realloc(p->temp_files, count * sizeof(char*)));
    p->temp_files[p->temp_file_count++] = made ? name : checked_strdup(name);
  }
  p->next_stdin_name = name;
  p->next_stdin_name_owned = made && !remove ? 1 : 0;
}

void pex_clear_input_name(pex_pipeline* p) {
  if (p->next_stdin_name_owned) free(p->next_stdin_name);
  p->next_stdin_name_owned = 0;
  p->next_stdin_name = nullptr;
}

pex_pipeline* pex_create_with_backend(int pipeline_flags, const char* program_name,
                                      const char* temp_name_base, const pex_backend* backend) {
  pex_pipeline* p = static_cast<pex_pipeline*>(checked_alloc(sizeof(pex_pipeline)));
  pex_init(p, pipeline_flags, program_name, temp_name_base, backend);
  return p;
}

void pex_init(pex_pipeline* p, int pipeline_flags, const char* program_name, const char* temp_name_base,
              const pex_backend* backend) {
  memset(p, 0, sizeof *p);
  p->pipeline_flags = pipeline_flags;
  p->program_name = program_name;
  p->temp_name_base = temp_name_base;
  p->next_stdin_fd = 0;
  p->stderr_read_fd = -1;
  p->backend = backend;
}

const char* pex_add_stage(pex_pipeline* p, int stage_flags, const char* executable, char* const* argv,
                          char* const* environment, const char* output_name, const char* error_name,
                          int* error_code) {
  const char* message = refusal(p, stage_flags, error_name);
  if (message != nullptr) {
    *error_code = 0;
    return message;
  }
  if (p->input_stream != nullptr) {
    FILE* stream = p->input_stream;
    p->input_stream = nullptr;
    if (fclose(stream) != 0) return "closing pipeline input file";
  }

  int in = -1, out = -1, err = -1;
  message = open_stage_input(p, stage_flags, &in, error_code);
  if (message != nullptr) return message;

  message = open_stage_output(p, stage_flags, output_name, &out, error_code);
  if (message == nullptr) message = open_stage_error(p, stage_flags, error_name, &err, error_code);
  if (message == nullptr) {
    // A child must not hold the read end of its own output pipe, or the next
    // stage would never see end of file after this one exits.
    int child_close = (p->pipeline_flags & PEX_VIA_PIPES) ? p->next_stdin_fd : -1;
    pid_t pid = p->backend->spawn_child(p, stage_flags, executable, argv, environment, in, out, err,
                                        child_close, &message, error_code);
    if (pid >= 0) {
      record_child(p, pid);
      return nullptr;
    }
    return message;  // the back end has closed the three descriptors
  }

  // The parent's copies of what this stage would have inherited; read ends kept
  // for later stages stay with the pipeline.
  if (in != 0) p->backend->close_fd(p, in);
  if (out >= 0 && out != 1) p->backend->close_fd(p, out);
  if (err >= 0 && err != 2) p->backend->close_fd(p, err);
  return message;
}

const char* pex_add_stage_inherit_env(pex_pipeline* p, int stage_flags, const char* executable,
                                      char* const* argv, const char* output_name, const char* error_name,
                                      int* error_code) {
  return pex_add_stage(p, stage_flags, executable, argv, nullptr, output_name, error_name, error_code);
}

int pex_collect_children(pex_pipeline* p, int kill_first, const char** message, int* error_code) {
  if (p->collected_count == p->child_count) return 1;
  size_t count = static_cast<size_t>(p->child_count);
  p->statuses = static_cast<int32_t*>(grow(p->statuses, &p->first_status, count, sizeof(int32_t)));
  bool timing = (p->pipeline_flags & PEX_TIMING) != 0;
  if (timing) p->timings = static_cast<pex_timing*>(checked_realloc(p->timings, count * sizeof(pex_timing)));

  int ok = 1;
  for (; p->collected_count < p->child_count; ++p->collected_count) {
    int32_t i = p->collected_count;
    // Times only while PEX_TIMING holds: pex_destroy clears it, and the array may be
    // shorter than the children added since the last timed collection.
    pex_timing* record = timing ? &p->timings[i] : nullptr;
    if (p->backend->wait_child(p, p->child_ids[i], &p->statuses[i], record, kill_first, message,
                               error_code) < 0) {
      ok = 0;
      // A signal cut the wait short: the caller has that signal to see to, and the
      // child is still there to be collected later, or to be stopped by pex_destroy.
      if (*error_code == EINTR) break;
      // Any other failure is final (the child is not ours to wait for).
      p->statuses[i] = kNoStatus;
    }
  }
  return ok;
}

char* pex_temp_name(pex_pipeline* p, int stage_flags, const char* name) {
  if (name != nullptr) {
    if (!(stage_flags & PEX_OUTNAME_SUFFIX)) return const_cast<char*>(name);
    if (p->temp_name_base != nullptr) return join_strings(p->temp_name_base, name, nullptr);
    return temp_file_create_suffixed(name);
  }
  if (p->temp_name_base == nullptr) return temp_file_create_suffixed(nullptr);

  size_t len = strlen(p->temp_name_base);
  char* name_template = (len >= 6 && strcmp(p->temp_name_base + len - 6, "XXXXXX") == 0)
                            ? checked_strdup(p->temp_name_base)
                            : join_strings(p->temp_name_base, "XXXXXX", nullptr);
  int fd = mkstemps(name_template, 0);
  if (fd < 0) {
    free(name_template);
    return nullptr;
  }
  close(fd);
  return name_template;
}

int pex_get_status(pex_pipeline* p, int n, int* statuses) {
  const char* message;
  int error_code;
  if (!pex_collect_children(p, 0, &message, &error_code)) return 0;
  // A wait that failed in an earlier call left nothing to hand out.
  for (int32_t i = 0; i < p->child_count; ++i) {
    if (p->statuses[i] == kNoStatus) return 0;
  }
  for (int i = 0; i < n; ++i) statuses[i] = i < p->child_count ? p->statuses[i] : 0;
  return 1;
}

void pex_destroy(pex_pipeline* p) {
  pex_finish(p);
  free(p);
}

void pex_finish(pex_pipeline* p) {
  if (p->next_stdin_fd > 0) p->backend->close_fd(p, p->next_stdin_fd);
  if (p->stderr_read_fd > 0) p->backend->close_fd(p, p->stderr_read_fd);
  if (p->stdout_stream != nullptr) fclose(p->stdout_stream);
  if (p->stderr_stream != nullptr) fclose(p->stderr_stream);
  for (int32_t i = 0; i < p->earlier_stream_count; ++i) fclose(p->earlier_streams[i]);
  free(p->earlier_streams);

  // Children still running are told to stop: no one will read what they write. An
  // interrupted wait is tried again, since after pex_destroy no one could reap the child.
  p->pipeline_flags &= ~PEX_TIMING;
  const char* message;
  int error_code;
  while (p->collected_count < p->child_count) pex_collect_children(p, 1, &message, &error_code);

  pex_clear_input_name(p);
  if (p->child_ids != &p->first_child_id) free(p->child_ids);
  if (p->statuses != &p->first_status) free(p->statuses);
  free(p->timings);
  for (int32_t i = 0; i < p->temp_file_count; ++i) {
    remove(p->temp_files[i]);
    free(p->temp_files[i]);
  }
  free(p->temp_files);
  if (p->backend->finish != nullptr) p->backend->finish(p);
}
