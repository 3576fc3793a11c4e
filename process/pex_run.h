// Running one command to completion.
#pragma once

#include <sys/types.h>

/// Runs executable as the only stage of a fresh pipeline and stores its raw wait status
/// in *status; returns null on success, else a static message with the code in *error_code.
const char* pex_run_command(int stage_flags, const char* executable, char* const* argv,
                            const char* program_name, const char* output_name, const char* error_name,
                            int* status, int* error_code);

/// Called with the child's pid once it has started, before the wait.
using pex_started_hook = void (*)(pid_t pid, void* data);

/// pex_run_command that calls started(pid, data), when started is not null, between the
/// start of the child and the wait: a caller that passes signals on learns whom to send them.
const char* pex_run_command_watched(int stage_flags, const char* executable, char* const* argv,
                                    const char* program_name, const char* output_name,
                                    const char* error_name, pex_started_hook started, void* data,
                                    int* status, int* error_code);
