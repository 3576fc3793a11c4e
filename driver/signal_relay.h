// The wrapper's answer to the signals that end a build step: pass them on to the tool,
// leave no response file behind, and end by the same signal, so that callers see what
// they would see had they run the tool directly.
//
// The order of calls, once per run of the tool:
//
//   relay_catch_signals();                  // before any file exists
//   relay_block();  create the response file;  relay_set_litter(name);  relay_unblock();
//   relay_tool_starting();
//   pex_run_command_watched(..., &relay_watch, ...);   // started(pid) ... exited()
//   int sig = relay_tool_done();
//   relay_remove_litter();
//   if (sig != 0) relay_end_by(sig);
//
// The handler only records a signal and hands it to relay_decide, which acts on the one
// state below: before the tool starts a signal ends the wrapper at once (the litter
// removed); while the tool starts it is kept; while the tool runs it is passed on; once
// the tool has ended nothing is sent, for its pid may soon name another process.
#pragma once

#include <sys/types.h>

#include "process/pex_run.h"

/// Catches the terminating signals a build step may be sent (HUP, INT, QUIT, TERM, PIPE,
/// ALRM, USR1, USR2, VTALRM, PROF, XCPU), except those the wrapper was started with
/// ignored, and gives SIGCHLD its default action so that the tool can be waited for.
void relay_catch_signals();

/// Blocks the caught signals while a litter file is created and recorded or removed, and
/// unblocks them again.
void relay_block();
void relay_unblock();
/// Records the file that must not outlive the wrapper (null for none): a signal before the
/// tool runs, or an exit through exit_program, removes it.
void relay_set_litter(const char* name);
/// Removes the litter file now, if there is one, with the signals held.
void relay_remove_litter();

/// From here a caught signal is kept, and passed on to the tool once it runs.
void relay_tool_starting();
/// Hooks for the single-command run: the tool's pid, and its end before it is reaped.
extern const pex_watch relay_watch;
/// The tool has been waited for (or never started): returns the first signal caught since
/// relay_tool_starting, 0 for none, and goes back to ending the wrapper at once.
int relay_tool_done();

/// Removes the litter file and ends the wrapper by sig, with its default action.
[[noreturn]] void relay_end_by(int sig);
