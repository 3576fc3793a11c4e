// Signals that end a build step, reaching the wrapper while its tool runs.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <vector>

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
    strings env = testutil::child_environment(t.options);
    strings args = {"quarn-nm", "-B", t.tree.target_bin(), "@" + t.tree.root() + "/args"};
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(a.data());
    for (auto& e : env) envp.push_back(e.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);

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
    int status = 0;
    bool ended = ended_in_time(wrapper, &status);
    if (!ended) {
      kill(wrapper, SIGKILL);
      waitpid(wrapper, &status, 0);
    }
    bool tool_signaled = testutil::file_exists(signaled);
    if (tool_ready && !tool_signaled) kill(tool, SIGKILL);  // left running: do not leave it behind
    EXPECT_TRUE(ended) << "the wrapper did not end";

    ASSERT_TRUE(tool_ready) << testutil::read_file(err);
    EXPECT_TRUE(tool_signaled) << "the tool was left running";
    if (tool_signaled) {
      EXPECT_EQ(testutil::read_file(signaled), std::to_string(c.sig));
    }
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.sig) << "wait status " << status;
    EXPECT_EQ(testutil::read_file(err), "") << "nothing of the wrapper's own";
    EXPECT_EQ(testutil::list_dir(tmp), strings{}) << "the response file is removed";
  }
}

}  // namespace
