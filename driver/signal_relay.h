// The wrapper's answer to the signals that end a build step (SIGINT, SIGTERM, SIGHUP,
// SIGQUIT): pass them on to the tool, leave no response file behind, and end by the
// same signal, so that callers see what they would see had they run the tool directly.
#pragma once

#include <csignal>
#include <sys/types.h>

/// Catches the four signals, except those the wrapper was started with ignored, and gives
/// SIGCHLD its default action so that the tool can be waited for whatever the parent left.
/// Until relay_tool_starting, a caught signal removes the litter file and ends the wrapper.
void relay_catch_signals();

/// Holds the caught signals back while a litter file is created and recorded.
void relay_hold();
void relay_release();
/// The file a signal must remove before the wrapper ends (null for none).
void relay_set_litter(const char* name);

/// From here a caught signal is kept and passed on to the tool once it runs.
void relay_tool_starting();
/// The tool runs as pid: passes on a signal kept while it was being started.
void relay_tool_started(pid_t pid, void* unused);
/// The tool has been waited for (or never started): returns the first signal caught since
/// relay_tool_starting, 0 for none, and goes back to ending the wrapper at once.
int relay_tool_done();

/// Removes the litter file and ends the wrapper by sig, with its default action.
[[noreturn]] void relay_end_by(int sig);

/// Ignores SIGXFSZ, saving the disposition in *saved: a file-size limit then fails the
/// write with EFBIG instead of killing the wrapper.
void relay_ignore_file_size_signal(struct sigaction* saved);
/// Puts back the disposition that relay_ignore_file_size_signal saved.
void relay_restore_file_size_signal(const struct sigaction* saved);
