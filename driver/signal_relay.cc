#include "driver/signal_relay.h"

#include <cerrno>
#include <csignal>
#include <unistd.h>

#include "support/checked_alloc.h"

namespace {

constexpr int kRelayed[] = {SIGHUP,  SIGINT,  SIGQUIT,   SIGTERM, SIGPIPE, SIGALRM,
                            SIGUSR1, SIGUSR2, SIGVTALRM, SIGPROF, SIGXCPU};
constexpr size_t kRelayedCount = sizeof kRelayed / sizeof kRelayed[0];

enum relay_state : sig_atomic_t {
  NO_TOOL,   // nothing to wait for: a signal ends the wrapper at once
  STARTING,  // the tool is being started: its pid is not known yet
  RUNNING,   // the tool runs as tool_pid
  ENDED,     // the tool has ended: its pid is about to be reaped
};

// Shared with the handler. The process has one thread, so plain word-sized stores are
// seen whole; volatile keeps the compiler from caching them across a handler's run.
volatile sig_atomic_t state = NO_TOOL;
volatile sig_atomic_t tool_pid = 0;
volatile sig_atomic_t first = 0;   // the first signal caught since the tool was starting
volatile sig_atomic_t unsent = 0;  // a signal caught while the tool's pid was unknown
const char* volatile litter = nullptr;

bool caught_at[kRelayedCount];  // which of kRelayed reach on_signal
sigset_t unblocked_mask;        // the mask in force before relay_block

// Acts on one signal, in the handler; a kept one is sent once the tool's pid is known.
// typed_at_terminal: the terminal sent it to the whole foreground process group.
void relay_decide(int sig, bool typed_at_terminal) {
  switch (state) {
    case NO_TOOL:
      relay_end_by(sig);
    case STARTING:
      // The tool may not have existed when the terminal sent it: pass it on regardless.
      if (unsent == 0) unsent = sig;
      break;
    case RUNNING:
      // The terminal sent it to its foreground process group, ours: the tool has it too
      // unless it has since left our group (a wrapper script or a debugger may do that).
      // Safe in a handler: getpgrp is on POSIX's list, and getpgid, though not listed, is a
      // bare system call in glibc, musl and FreeBSD's libc (no lock, no buffer). Not yet
      // reaped, the tool still owns its pid.
      if (!typed_at_terminal || getpgid(tool_pid) != getpgrp()) kill(tool_pid, sig);
      break;
    case ENDED:
      break;
  }
}

void on_signal(int sig, siginfo_t* info, void*) {
  int saved_errno = errno;  // the flow may be about to read it
  if (first == 0) first = sig;
  bool typed = false;
#ifdef SI_KERNEL
  // An alarm or a CPU limit also comes from the kernel, but to the wrapper alone.
  typed = (sig == SIGINT || sig == SIGQUIT) && info != nullptr && info->si_code == SI_KERNEL;
#else
  (void)info;
#endif
  relay_decide(sig, typed);
  errno = saved_errno;
}

void set_default(int sig) {
  struct sigaction act = {};
  act.sa_handler = SIG_DFL;
  sigemptyset(&act.sa_mask);
  sigaction(sig, &act, nullptr);
}

void tool_started(pid_t pid) {
  tool_pid = pid;
  state = RUNNING;
  int sig = unsent;
  unsent = 0;
  if (sig != 0) kill(pid, sig);
}

void tool_exited() { state = ENDED; }

}  // namespace

const pex_watch relay_watch = {tool_started, tool_exited};

void relay_catch_signals() {
  // Each action is built on the one the system reports: its mask is then a valid set
  // (empty, as exec leaves it) without a call of sigemptyset.
  struct sigaction act;
  for (size_t i = 0; i < kRelayedCount; ++i) {
    // What the caller ignores (nohup, a background job) stays ignored, here and in the tool.
    if (sigaction(kRelayed[i], nullptr, &act) != 0 || act.sa_handler == SIG_IGN) continue;
    act.sa_sigaction = on_signal;
    // SA_RESTART: the wait for the tool goes on after the handler has passed a signal on.
    // The handler may run nested for another signal; each step of it stays sound then.
    act.sa_flags = SA_SIGINFO | SA_RESTART;
    sigaction(kRelayed[i], &act, nullptr);
    caught_at[i] = true;
  }
  // Under a parent that ignores SIGCHLD the tool would be reaped behind our back and its
  // status lost. Set without asking first: whatever it was, the default is what we need,
  // and a default action has no handler for a mask to apply to.
  act.sa_handler = SIG_DFL;
  act.sa_flags = 0;
  sigaction(SIGCHLD, &act, nullptr);
}

void relay_block() {
  // Built here, not at start: most runs make no response file and never block signals.
  sigset_t caught;
  sigemptyset(&caught);
  for (size_t i = 0; i < kRelayedCount; ++i) {
    if (caught_at[i]) sigaddset(&caught, kRelayed[i]);
  }
  sigprocmask(SIG_BLOCK, &caught, &unblocked_mask);
}

void relay_unblock() { sigprocmask(SIG_SETMASK, &unblocked_mask, nullptr); }

void relay_set_litter(const char* name) {
  litter = name;
  exit_cleanup_hook = name != nullptr ? relay_remove_litter : nullptr;
}

void relay_remove_litter() {
  // Blocked, a signal cannot remove the name a second time, when another process may
  // have made a new file of that name.
  relay_block();
  if (litter != nullptr) unlink(litter);
  relay_set_litter(nullptr);
  relay_unblock();
}

void relay_tool_starting() { state = STARTING; }

int relay_tool_done() {
  state = NO_TOOL;
  tool_pid = 0;
  int sig = first;
  first = 0;
  unsent = 0;
  return sig;
}

void relay_end_by(int sig) {
  const char* name = litter;
  if (name != nullptr) unlink(name);
  set_default(sig);
  // Inside the handler sig is blocked: raised, it waits for the unblock and then ends us.
  raise(sig);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, sig);
  sigprocmask(SIG_UNBLOCK, &only, nullptr);
  _exit(1);  // not reached: the default action of every relayed signal ends the process
}
