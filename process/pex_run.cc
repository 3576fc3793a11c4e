#include "process/pex_run.h"

#include <cerrno>
#include <csignal>
#include <sys/wait.h>

#include "process/pex_pipeline.h"
#include "process/pex_posix.h"

namespace {

// Waits for pid to end without reaping it, so that its pid stays its own meanwhile.
void wait_unreaped(pid_t pid) {
  siginfo_t info;
  while (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
  }
}

}  // namespace

const char* pex_run_command(int stage_flags, const char* executable, char* const* argv,
                            const char* program_name, const char* output_name, const char* error_name,
                            int* status, int* error_code) {
  return pex_run_command_watched(stage_flags, executable, argv, program_name, output_name, error_name, nullptr,
                                 status, error_code);
}

const char* pex_run_command_watched(int stage_flags, const char* executable, char* const* argv,
                                    const char* program_name, const char* output_name,
                                    const char* error_name, const pex_watch* watch, int* status,
                                    int* error_code) {
  // The pipeline lives for this call alone: in its frame, not in a block of its own.
  pex_pipeline pipeline;
  pex_pipeline* p = &pipeline;
  pex_init(p, 0, program_name, nullptr, &posix_backend);
  const char* message =
      pex_add_stage_inherit_env(p, stage_flags, executable, argv, output_name, error_name, error_code);
  if (message == nullptr) {
    if (watch != nullptr) {
      pid_t pid = p->child_ids[p->child_count - 1];
      watch->started(pid);
      wait_unreaped(pid);
      watch->exited();
    }
    if (!pex_get_status(p, 1, status)) {
      *error_code = 0;
      message = "pex_get_status failed";
    }
  }
  // pex_finish signals and reaps a child whose wait was interrupted; otherwise it has
  // been waited for (or never started) and pex_finish signals no one.
  pex_finish(p);
  return message;
}
