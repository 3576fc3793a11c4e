// Turning the wrapped tool's wait status into the wrapper's exit status.
#pragma once

#include <cstdio>

/// Returns the wrapper's exit status for the tool's raw wait status: the tool's own exit
/// status when it exited, else 1. A death by signal is reported on messages.
int exit_status_from_wait(int status, const char* tool_path, FILE* messages);
