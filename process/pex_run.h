// Running one command to completion.
#pragma once

#include <sys/types.h>

/// Runs executable as the only stage of a fresh pipeline and stores its raw wait status
/// in *status; returns null on success, else a static message with the code in *error_code.
const char* pex_run_command(int stage_flags, const char* executable, char* const* argv,
                            const char* program_name, const char* output_name, const char* error_name,
                            int* status, int* error_code);

/// What a caller that passes signals on to the child learns of it.
struct pex_watch {
  void (*started)(pid_t pid);  // the child runs as pid; called before the wait
  void (*exited)();            // the child has ended but is not reaped: pid still names it
};

/// pex_run_command that tells watch, when not null, of the child's start and end: until
/// exited returns, the child's pid cannot be handed to another process.
const char* pex_run_command_watched(int stage_flags, const char* executable, char* const* argv,
                                    const char* program_name, const char* output_name,
                                    const char* error_name, const pex_watch* watch, int* status,
                                    int* error_code);
