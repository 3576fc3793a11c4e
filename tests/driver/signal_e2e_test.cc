// Signals that end a build step, reaching the wrapper while its tool runs.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/arg_vector.h"
#include "common/staged_tree.h"
#include "common/test_util.h"

namespace {

using strings = std::vector<std::string>;

constexpr int kEndingSignals[] = {SIGHUP,  SIGINT,  SIGQUIT,   SIGTERM, SIGPIPE, SIGALRM,
                                  SIGUSR1, SIGUSR2, SIGVTALRM, SIGPROF, SIGXCPU};

// Waits up to ten seconds: a signal that is never passed on fails the test, not hangs it.
bool ended_in_time(pid_t pid, int* status) {
  for (int i = 0; i < 1000; ++i) {
    if (waitpid(pid, status, WNOHANG) == pid) return true;
    usleep(10000);
  }
  return false;
}

// How a run ended: the wrapper killed when it did not end in time, the tool when it was
// left running, so that nothing outlives the test.
struct run_end {
  bool ended = false;
  int status = 0;
  bool tool_signaled = false;
};

run_end collect(pid_t wrapper, pid_t tool, bool tool_ready, const std::string& signaled) {
  run_end end;
  end.ended = ended_in_time(wrapper, &end.status);
  if (!end.ended) {
    kill(wrapper, SIGKILL);
    waitpid(wrapper, &end.status, 0);
  }
  end.tool_signaled = testutil::file_exists(signaled);
  if (tool_ready && !end.tool_signaled) kill(tool, SIGKILL);
  return end;
}

TEST(signals, reach_the_tool_and_end_the_wrapper_leaving_no_file) {
  struct signal_case {
    std::string how;
    int sig;
    bool to_group;     // as Ctrl-C does; else to the wrapper alone, as a build's time-out does
    int ignored = 0;   // a signal the wrapper is started with ignored, sent before sig
  };
  std::vector<signal_case> cases;
  for (int sig : kEndingSignals)
    cases.push_back({"signal " + std::to_string(sig) + " to the wrapper", sig, false});
  cases.push_back({"SIGINT to the process group", SIGINT, true});
  cases.push_back({"SIGUSR1 ignored by the caller stays ignored", SIGTERM, false, SIGUSR1});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.how);
    testutil::fake_tool_tree t;
    const std::string tmp = t.tree.root() + "/tmp", signaled = t.tree.root() + "/signaled";
    testutil::make_dirs(tmp);
    testutil::write_file(t.tree.root() + "/args", "x.o\n");
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    fcntl(ready[0], F_SETFD, FD_CLOEXEC);
    t.options.env["TMPDIR"] = tmp;
    t.options.env["FAKE_TOOL_READY_FD"] = std::to_string(ready[1]);
    t.options.env["FAKE_TOOL_SIGNALED"] = signaled;
    testutil::arg_vector argv({"quarn-nm", "-B", t.tree.target_bin(), "@" + t.tree.root() + "/args"});
    testutil::arg_vector envp(testutil::child_environment(t.options));

    // A process group of its own, so that the group's signal reaches only wrapper and tool.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // Whatever this process ignores (SIGPIPE, often), the wrapper starts with defaults.
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int sig : kEndingSignals) {
      if (sig != c.ignored) sigaddset(&defaults, sig);
    }
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string err = t.tree.root() + "/stderr";
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    struct sigaction ignore = {}, saved;
    ignore.sa_handler = SIG_IGN;
    if (c.ignored != 0) sigaction(c.ignored, &ignore, &saved);
    pid_t wrapper = -1;
    int rc = posix_spawn(&wrapper, testutil::built_wrapper("nm").c_str(), &actions, &attr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (c.ignored != 0) sigaction(c.ignored, &saved, nullptr);
    close(ready[1]);
    ASSERT_EQ(rc, 0);
    pid_t tool = 0;
    bool tool_ready = read(ready[0], &tool, sizeof tool) == static_cast<ssize_t>(sizeof tool);
    close(ready[0]);
    if (tool_ready && c.ignored != 0) {
      kill(wrapper, c.ignored);
      usleep(200000);  // were it passed on, the tool would be ending by it now
    }
    if (tool_ready) (c.to_group ? killpg(wrapper, c.sig) : kill(wrapper, c.sig));
    run_end end = collect(wrapper, tool, tool_ready, signaled);
    EXPECT_TRUE(end.ended) << "the wrapper did not end";

    ASSERT_TRUE(tool_ready) << testutil::read_file(err);
    EXPECT_TRUE(end.tool_signaled) << "the tool was left running";
    if (end.tool_signaled) {
      EXPECT_EQ(testutil::read_file(signaled), std::to_string(c.sig));
    }
    EXPECT_TRUE(WIFSIGNALED(end.status) && WTERMSIG(end.status) == c.sig) << "wait status " << end.status;
    EXPECT_EQ(testutil::read_file(err), "") << "nothing of the wrapper's own";
    EXPECT_EQ(testutil::list_dir(tmp), strings{}) << "the response file is removed";
  }
}

// Ctrl-C reaches the terminal's foreground process group alone: a tool that has left the
// wrapper's group (a wrapper script or a debugger may do that) must have it passed on.
TEST(signals, ctrl_c_reaches_a_tool_that_left_the_process_group) {
  int pty = posix_openpt(O_RDWR | O_NOCTTY);
  const char* name = pty >= 0 && grantpt(pty) == 0 && unlockpt(pty) == 0 ? ptsname(pty) : nullptr;
  int term = name != nullptr ? open(name, O_RDWR | O_NOCTTY) : -1;
  if (term < 0) {
    std::string why = strerror(errno);
    if (pty >= 0) close(pty);
    GTEST_SKIP() << "no pseudo-terminal to type Ctrl-C at: " << why;
  }
  testutil::fake_tool_tree t;
  const std::string signaled = t.tree.root() + "/signaled", path = testutil::built_wrapper("nm");
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  t.options.env["FAKE_TOOL_READY_FD"] = std::to_string(ready[1]);
  t.options.env["FAKE_TOOL_SIGNALED"] = signaled;
  t.options.env["FAKE_TOOL_OWN_GROUP"] = "1";
  testutil::arg_vector argv({"quarn-nm", "-B", t.tree.target_bin()});
  testutil::arg_vector envp(testutil::child_environment(t.options));
  pid_t wrapper = fork();
  if (wrapper == 0) {  // a session of its own, the pty its terminal, the wrapper its leader
    close(pty);
    close(ready[0]);
    signal(SIGINT, SIG_DFL);
    if (setsid() >= 0 && ioctl(term, TIOCSCTTY, 0) == 0) execve(path.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  close(term);
  close(ready[1]);
  pid_t tool = 0;
  bool tool_ready = read(ready[0], &tool, sizeof tool) == static_cast<ssize_t>(sizeof tool);
  close(ready[0]);
  // ^C, the terminal's default VINTR character.
  if (tool_ready && write(pty, "\x03", 1) != 1) ADD_FAILURE() << "cannot type at the terminal";
  run_end end = collect(wrapper, tool, tool_ready, signaled);
  close(pty);
  ASSERT_TRUE(tool_ready) << "the tool did not start; wait status " << end.status;
  EXPECT_TRUE(WIFSIGNALED(end.status) && WTERMSIG(end.status) == SIGINT) << "wait status " << end.status;
  ASSERT_TRUE(end.tool_signaled) << "the tool was left running";
  EXPECT_EQ(testutil::read_file(signaled), std::to_string(SIGINT));
}

}  // namespace
