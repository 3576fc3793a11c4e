#include "driver/signal_relay.h"

#include <cerrno>
#include <unistd.h>

namespace {

constexpr int kRelayed[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// Shared with the handler. The process has one thread, so plain word-sized stores are
// seen whole; volatile keeps the compiler from caching them across a handler's run.
volatile sig_atomic_t starting = 0;   // a tool is being started or runs
volatile sig_atomic_t caught = 0;     // first signal caught since then
volatile sig_atomic_t forwarded = 0;  // the tool has been sent a signal
volatile sig_atomic_t child = 0;      // the tool's pid once it runs
const char* volatile litter = nullptr;

bool caught_at[sizeof kRelayed / sizeof kRelayed[0]];  // which of kRelayed reach on_signal
sigset_t held_mask;                                     // the mask in force before relay_hold

void on_signal(int sig) {
  // Before the tool starts, nothing else needs waiting for: end at once.
  if (!starting) relay_end_by(sig);
  int saved_errno = errno;  // the flow may be about to read it
  if (caught == 0) caught = sig;
  pid_t pid = child;
  if (pid > 0) {
    kill(pid, sig);
    forwarded = 1;
  }
  errno = saved_errno;
}

void set_action(int sig, void (*handler)(int), int flags = 0, struct sigaction* old = nullptr) {
  struct sigaction act = {};
  act.sa_handler = handler;
  sigemptyset(&act.sa_mask);
  act.sa_flags = flags;
  sigaction(sig, &act, old);
}

}  // namespace

void relay_catch_signals() {
  for (size_t i = 0; i < sizeof kRelayed / sizeof kRelayed[0]; ++i) {
    // What the caller ignores (nohup, a background job) stays ignored, here and in the tool.
    struct sigaction old;
    if (sigaction(kRelayed[i], nullptr, &old) != 0 || old.sa_handler == SIG_IGN) continue;
    // SA_RESTART: the wait for the tool goes on after the handler has passed a signal on.
    // The handler may run nested for another signal; each step of it stays sound then.
    set_action(kRelayed[i], on_signal, SA_RESTART);
    caught_at[i] = true;
  }
  // Under a parent that ignores SIGCHLD the tool would be reaped behind our back and its
  // status lost.
  set_action(SIGCHLD, SIG_DFL);
}

void relay_hold() {
  sigset_t caught_set;
  sigemptyset(&caught_set);
  for (size_t i = 0; i < sizeof kRelayed / sizeof kRelayed[0]; ++i) {
    if (caught_at[i]) sigaddset(&caught_set, kRelayed[i]);
  }
  sigprocmask(SIG_BLOCK, &caught_set, &held_mask);
}

void relay_release() { sigprocmask(SIG_SETMASK, &held_mask, nullptr); }

void relay_set_litter(const char* name) { litter = name; }

void relay_tool_starting() { starting = 1; }

void relay_tool_started(pid_t pid, void*) {
  child = pid;
  // A signal that came while the tool was being started found no pid to go to.
  if (caught != 0 && !forwarded) {
    kill(pid, caught);
    forwarded = 1;
  }
}

int relay_tool_done() {
  child = 0;
  starting = 0;
  int sig = caught;
  caught = 0;
  forwarded = 0;
  return sig;
}

void relay_end_by(int sig) {
  const char* name = litter;
  if (name != nullptr) unlink(name);
  set_action(sig, SIG_DFL);
  // Inside the handler sig is blocked: raised, it waits for the unblock and then ends us.
  raise(sig);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, sig);
  sigprocmask(SIG_UNBLOCK, &only, nullptr);
  _exit(1);  // not reached: the default action of every relayed signal ends the process
}

void relay_ignore_file_size_signal(struct sigaction* saved) { set_action(SIGXFSZ, SIG_IGN, 0, saved); }

void relay_restore_file_size_signal(const struct sigaction* saved) { sigaction(SIGXFSZ, saved, nullptr); }
