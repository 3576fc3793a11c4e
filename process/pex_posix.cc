#include "process/pex_posix.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

// POSIX makes no difference between text and binary data: every binary argument
// below is accepted and ignored.
namespace {

// Closes fd, keeping errno for the caller of the failed call.
void discard(int fd) {
  int saved = errno;
  close(fd);
  errno = saved;
}

// Returns fd as a close-on-exec descriptor above 2: moved there when the caller had
// closed the standard stream it took the place of. On failure -1 with errno set, fd
// closed. The pipeline takes 0, 1 and 2 for the caller's own streams: a pipe end or
// file left on one of them would be taken for that stream and never reach the child.
int off_standard_streams(int fd) {
  if (fd < 0) return fd;
  int kept = fd > STDERR_FILENO ? fd : fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  if (kept == fd && fcntl(fd, F_SETFD, FD_CLOEXEC) < 0) kept = -1;
  if (kept != fd) discard(fd);
  return kept;
}

int posix_open_for_read(pex_pipeline*, const char* name, int) {
  return off_standard_streams(open(name, O_RDONLY));
}

int posix_open_for_write(pex_pipeline*, const char* name, int, int append) {
  int mode = O_WRONLY | O_CREAT | (append ? O_APPEND : O_TRUNC);
  return off_standard_streams(open(name, mode, 0666));
}

// Records the file actions that put the stage's descriptors in place of the child's
// standard streams; returns 0 or the failing call's error number with *message set.
int add_file_actions(posix_spawn_file_actions_t* actions, int stage_flags, int in, int out, int err,
                     int child_close, const char** message) {
  const int targets[3] = {0, 1, 2};
  const int fds[3] = {in, out, err};
  int rc;
  for (int i = 0; i < 3; ++i) {
    if (fds[i] == targets[i]) continue;
    if ((rc = posix_spawn_file_actions_adddup2(actions, fds[i], targets[i])) != 0) {
      *message = "posix_spawn_file_actions_adddup2";
      return rc;
    }
    if ((rc = posix_spawn_file_actions_addclose(actions, fds[i])) != 0) {
      *message = "posix_spawn_file_actions_addclose";
      return rc;
    }
  }
  if (child_close >= 0 && (rc = posix_spawn_file_actions_addclose(actions, child_close)) != 0) {
    *message = "posix_spawn_file_actions_addclose";
    return rc;
  }
  // After the error redirection, so that merged output wins over an error file.
  if ((stage_flags & PEX_MERGE_STDERR) && (rc = posix_spawn_file_actions_adddup2(actions, 1, 2)) != 0) {
    *message = "posix_spawn_file_actions_adddup2";
    return rc;
  }
  return 0;
}

pid_t posix_spawn_child(pex_pipeline*, int stage_flags, const char* executable, char* const* argv,
                        char* const* environment, int in, int out, int err, int child_close,
                        const char** message, int* error_code) {
  pid_t result = -1;
  posix_spawn_file_actions_t actions;
  // None for a stage that keeps our standard streams, as the wrappers' one stage does.
  posix_spawn_file_actions_t* used = nullptr;
  const bool search = (stage_flags & PEX_PATH_SEARCH) != 0;
  char* const* env = environment != nullptr ? environment : environ;
  // The spawn calls return their error number and leave errno alone.
  int rc = 0;
  if (in != STDIN_FILENO || out != STDOUT_FILENO || err != STDERR_FILENO || child_close >= 0 ||
      (stage_flags & PEX_MERGE_STDERR) != 0) {
    if ((rc = posix_spawn_file_actions_init(&actions)) != 0) {
      *message = "posix_spawn_file_actions_init";
      goto close_copies;
    }
    used = &actions;
    rc = add_file_actions(used, stage_flags, in, out, err, child_close, message);
    if (rc != 0) goto destroy_actions;
  }
  // No attributes: the child starts with our mask and dispositions, as exec leaves them.
  rc = (search ? posix_spawnp : posix_spawn)(&result, executable, used, nullptr, argv, env);
  if (rc != 0) {
    *message = search ? "posix_spawnp" : "posix_spawn";
    result = -1;  // unspecified after a failed start
  }

destroy_actions:
  if (used != nullptr) posix_spawn_file_actions_destroy(used);
close_copies:
  *error_code = rc;
  // The parent's copies go on every path, since the pipeline leaves them to us: the
  // child holds its own now, or there is no child. 0, 1 and 2 are the parent's own
  // streams. A failed close is reported only for a started child, and no other close
  // is skipped for it: whatever close returned, the number is no longer ours.
  const int fds[3] = {in, out, err};
  for (int i = 0; i < 3; ++i) {
    if (fds[i] != i && close(fds[i]) < 0 && result >= 0) {
      *error_code = errno;
      *message = "close";
      result = -1;
    }
  }
  return result;
}

int posix_close_fd(pex_pipeline*, int fd) { return close(fd); }

int posix_wait_child(pex_pipeline*, pid_t pid, int* status, pex_timing* timing, int kill_first,
                     const char** message, int* error_code) {
  if (kill_first) kill(pid, SIGTERM);
  pid_t got;
  if (timing != nullptr) {
    struct rusage usage;
    got = wait4(pid, status, 0, &usage);
    if (got >= 0) {
      timing->user_sec = usage.ru_utime.tv_sec;
      timing->user_usec = usage.ru_utime.tv_usec;
      timing->sys_sec = usage.ru_stime.tv_sec;
      timing->sys_usec = usage.ru_stime.tv_usec;
    }
  } else {
    got = waitpid(pid, status, 0);
  }
  // Not retried on EINTR: a handler installed with SA_RESTART (as the wrappers' signal
  // relay is) resumes the wait by itself, and one without it asks for the wait to end,
  // so the caller sees to the signal and the pipeline keeps the child for a later wait.
  if (got < 0) {
    *error_code = errno;
    *message = "wait";
    return -1;
  }
  return 0;
}

// Both ends are close-on-exec: a child must get only the end that its file actions
// put in place (dup2 clears the flag on the copy). A child holding the read end of
// its own error pipe, or a stream the caller reads, would keep that pipe open.
int posix_make_pipe(pex_pipeline*, int fds[2], int) {
  if (pipe(fds) < 0) return -1;
  int write_end = fds[1];
  if ((fds[0] = off_standard_streams(fds[0])) < 0) {
    discard(write_end);
    return -1;
  }
  if ((fds[1] = off_standard_streams(write_end)) < 0) {
    discard(fds[0]);
    return -1;
  }
  return 0;
}

FILE* posix_stream_for_read(pex_pipeline*, int fd, int) { return fdopen(fd, "r"); }

FILE* posix_stream_for_write(pex_pipeline*, int fd, int) {
  // The caller writes into this end; a child that inherited it would keep the
  // reader from ever seeing end of file.
  if (fcntl(fd, F_SETFD, FD_CLOEXEC) < 0) return nullptr;
  return fdopen(fd, "w");
}

void posix_finish(pex_pipeline*) {}

}  // namespace

const pex_backend posix_backend = {
    posix_open_for_read, posix_open_for_write, posix_spawn_child,      posix_close_fd,      posix_wait_child,
    posix_make_pipe,     posix_stream_for_read, posix_stream_for_write, posix_finish,
};

pex_pipeline* pex_create(int pipeline_flags, const char* program_name, const char* temp_name_base) {
  return pex_create_with_backend(pipeline_flags, program_name, temp_name_base, &posix_backend);
}
