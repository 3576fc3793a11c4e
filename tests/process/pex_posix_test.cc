#include "process/pex_posix.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "process/pex_streams.h"
#include "process_test_util.h"
#include "common/test_util.h"

using testutil::arg_vector;
using testutil::open_descriptors;

namespace {

// Makes the back end's next posix_spawn_file_actions_addclose fail with this error
// number. No descriptor makes that call fail everywhere (glibc checks it against the
// descriptor table, FreeBSD and musl accept any that is not negative), so the test
// binary is linked with --wrap for it.
int addclose_error = 0;

}  // namespace

extern "C" int __real_posix_spawn_file_actions_addclose(posix_spawn_file_actions_t* actions, int fd);

extern "C" int __wrap_posix_spawn_file_actions_addclose(posix_spawn_file_actions_t* actions, int fd) {
  if (addclose_error != 0) return std::exchange(addclose_error, 0);
  return __real_posix_spawn_file_actions_addclose(actions, fd);
}

namespace {

struct real_stage {
  int flags;
  std::vector<std::string> argv;
  std::string out;  // "" for none
  std::string err;  // "" for none
};

// Runs the stages on a fresh pipeline and waits for them (pex_destroy would kill them);
// returns the first failure message, or "".
std::string run_stages(int pipeline_flags, const char* base, const std::vector<real_stage>& stages,
                       std::vector<int>* statuses = nullptr) {
  std::vector<int> ignored;
  if (statuses == nullptr) statuses = &ignored;
  pex_pipeline* p = pex_create(pipeline_flags, "test", base);
  std::string failure;
  for (const real_stage& s : stages) {
    arg_vector argv(s.argv);
    int code = 0;
    const char* message = pex_add_stage_inherit_env(p, s.flags, s.argv[0].c_str(), argv.get(),
                                                    s.out.empty() ? nullptr : s.out.c_str(),
                                                    s.err.empty() ? nullptr : s.err.c_str(), &code);
    if (message != nullptr) {
      failure = message;
      break;
    }
  }
  statuses->assign(stages.size(), -1);
  if (!pex_get_status(p, static_cast<int>(stages.size()), statuses->data())) failure = "pex_get_status";
  pex_destroy(p);
  return failure;
}

const std::vector<std::string> print_lines = {"/bin/sh", "-c", "printf 'b\\na\\nc\\n'"};
const std::vector<std::string> upper = {"/usr/bin/tr", "a-z", "A-Z"};
const std::vector<std::string> sort_lines = {"/usr/bin/sort"};

}  // namespace

TEST(posix_backend, pipelines_through_pipes_and_temporary_files) {
  struct row {
    const char* name;
    int pipeline_flags;
    std::string base;  // under the scoped directory; "" for none
    int mid_flags;
    std::string mid_name;
    bool kept;  // each non-final stage leaves its file behind
  };
  const row rows[] = {
      {"pipes", PEX_VIA_PIPES, "", 0, "", false},
      {"temp base", 0, "t", 0, "", false},
      {"temp base with X", 0, "tXXXXXX", 0, "", false},
      {"kept temps", PEX_KEEP_TEMPS, "t", 0, "", true},
      {"suffix", 0, "s", PEX_OUTNAME_SUFFIX, ".mid", false},
      {"kept suffix", PEX_KEEP_TEMPS, "s", PEX_OUTNAME_SUFFIX, ".mid", true},
  };
  for (const row& r : rows) {
    for (size_t count : {2u, 3u}) {
      SCOPED_TRACE(std::string(r.name) + " " + std::to_string(count));
      testutil::scoped_temp_dir dir;
      std::string base = dir / r.base;
      std::string out = dir / "out";
      std::vector<real_stage> stages = {{r.mid_flags, print_lines, r.mid_name, ""}};
      if (count == 3) stages.push_back({0, upper, "", ""});
      stages.push_back({PEX_FINAL, count == 3 ? sort_lines : upper, out, ""});
      std::vector<int> before = open_descriptors();
      std::vector<int> statuses;
      EXPECT_EQ(run_stages(r.pipeline_flags, r.base.empty() ? nullptr : base.c_str(), stages, &statuses), "");
      EXPECT_EQ(statuses, std::vector<int>(count, 0));
      EXPECT_EQ(testutil::read_file(out), count == 3 ? "A\nB\nC\n" : "B\nA\nC\n");
      EXPECT_EQ(open_descriptors(), before);
      EXPECT_EQ(testutil::list_dir(dir.path()).size(), r.kept ? count : 1);
      if (!r.mid_name.empty()) {
        EXPECT_EQ(testutil::file_exists(base + r.mid_name), r.kept);
      }
    }
  }
}

TEST(posix_backend, output_and_error_files_truncate_or_append) {
  const std::vector<std::string> both = {"/bin/sh", "-c", "echo out; echo err >&2"};
  struct row {
    int flags;
    const char* out;
    const char* err;
  };
  const row rows[] = {
      {0, "out\n", "err\n"},
      {PEX_OUTPUT_APPEND, "old\nout\n", "err\n"},
      {PEX_ERROR_APPEND, "out\n", "old\nerr\n"},
      {PEX_MERGE_STDERR, "out\nerr\n", ""},
      {PEX_MERGE_STDERR | PEX_OUTPUT_APPEND | PEX_ERROR_APPEND, "old\nout\nerr\n", "old\n"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.flags);
    testutil::scoped_temp_dir dir;
    testutil::write_file(dir / "out", "old\n");
    testutil::write_file(dir / "err", "old\n");
    std::vector<int> before = open_descriptors();
    EXPECT_EQ(run_stages(0, nullptr, {{PEX_FINAL | r.flags, both, dir / "out", dir / "err"}}), "");
    EXPECT_EQ(testutil::read_file(dir / "out"), r.out);
    EXPECT_EQ(testutil::read_file(dir / "err"), r.err);
    EXPECT_EQ(open_descriptors(), before);
  }
}

TEST(posix_backend, stderr_pipe_is_read_through_open_stderr) {
  testutil::scoped_temp_dir dir;
  std::vector<int> before = open_descriptors();
  pex_pipeline* p = pex_create(0, "test", nullptr);
  arg_vector argv{"/bin/sh", "-c", "echo out; echo oops >&2"};
  int code = 0;
  std::string out = dir / "out";
  ASSERT_EQ(pex_add_stage_inherit_env(p, PEX_FINAL | PEX_STDERR_TO_PIPE, "/bin/sh", argv.get(), out.c_str(),
                                      nullptr, &code),
            nullptr);
  FILE* err = pex_open_stderr(p, 0);
  ASSERT_NE(err, nullptr);
  char buf[64] = {};
  EXPECT_EQ(fread(buf, 1, sizeof buf - 1, err), 5u);
  EXPECT_STREQ(buf, "oops\n");
  int status = -1;
  EXPECT_EQ(pex_get_status(p, 1, &status), 1);
  EXPECT_EQ(status, 0);
  pex_destroy(p);
  EXPECT_EQ(testutil::read_file(out), "out\n");
  EXPECT_EQ(open_descriptors(), before);
}

TEST(posix_backend, spawn_child_failures_name_the_call_and_close_the_parents_copies) {
  struct row {
    int flags;
    const char* executable;
    int in;
    int addclose_error;  // made to fail with this, 0 for not
    const char* message;
    int code;
  };
  // None of them could start a program: a failure injected in vain shows as "posix_spawn".
  const row rows[] = {
      {PEX_PATH_SEARCH, "quarn-no-such-program", 0, 0, "posix_spawnp", ENOENT},
      {0, "/nonexistent-quarn-dir/prog", 0, 0, "posix_spawn", ENOENT},
      {0, "/nonexistent-quarn-dir/prog", -5, 0, "posix_spawn_file_actions_adddup2", EBADF},
      {0, "/nonexistent-quarn-dir/prog", 0, ENOMEM, "posix_spawn_file_actions_addclose", ENOMEM},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.message);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    arg_vector argv{"prog"};
    const char* message = nullptr;
    int code = -1;
    addclose_error = r.addclose_error;
    pid_t pid = posix_backend.spawn_child(nullptr, r.flags, r.executable, argv.get(), nullptr, r.in, fds[1], 2,
                                          fds[0], &message, &code);
    addclose_error = 0;
    EXPECT_EQ(pid, -1);
    EXPECT_STREQ(message, r.message);
    EXPECT_EQ(code, r.code);
    EXPECT_EQ(fcntl(fds[1], F_GETFD), -1) << "the parent's copy of the output was left open";
    EXPECT_NE(fcntl(fds[0], F_GETFD), -1) << "closed the descriptor meant for the child to close";
    close(fds[0]);
  }
}

TEST(posix_backend, spawn_passes_environment_and_takes_slashed_names_unsearched) {
  testutil::scoped_temp_dir dir;
  std::string tool = dir / "tool";
  testutil::write_file(tool, "#!/bin/sh\necho \"${QUARN_PEX_VAR-unset}\"\n", 0755);
  setenv("QUARN_PEX_VAR", "inherited", 1);
  const char* given[] = {"QUARN_PEX_VAR=given", nullptr};
  for (char* const* env : {static_cast<char* const*>(nullptr), const_cast<char* const*>(given)}) {
    pex_pipeline* p = pex_create(0, "test", nullptr);
    arg_vector argv{"tool"};
    std::string out = dir / "out";
    int code = 0;
    // A name with a '/' is used as it is, even with PATH search asked for.
    ASSERT_EQ(pex_add_stage(p, PEX_FINAL | PEX_PATH_SEARCH, tool.c_str(), argv.get(), env, out.c_str(), nullptr,
                            &code),
              nullptr);
    int status = -1;
    EXPECT_EQ(pex_get_status(p, 1, &status), 1);
    EXPECT_EQ(status, 0);
    pex_destroy(p);
    EXPECT_EQ(testutil::read_file(out), env == nullptr ? "inherited\n" : "given\n");
  }
  unsetenv("QUARN_PEX_VAR");
}

TEST(posix_backend, wait_child_kills_first_reports_times_and_failures) {
  const char* message = nullptr;
  int code = 0;
  auto start = [&](std::initializer_list<std::string> args) {
    arg_vector argv(args);
    pid_t pid = posix_backend.spawn_child(nullptr, 0, argv.get()[0], argv.get(), nullptr, 0, 1, 2, -1, &message,
                                          &code);
    EXPECT_GT(pid, 0) << message;
    return pid;
  };
  int status = -1;
  auto begin = std::chrono::steady_clock::now();
  ASSERT_EQ(posix_backend.wait_child(nullptr, start({"/bin/sleep", "30"}), &status, nullptr, 1, &message, &code), 0);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
  EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(10));

  // Already exited, not yet waited for: the signal changes nothing.
  pid_t done = start({"/bin/sh", "-c", "exit 5"});
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  pex_timing timing = {-1, -1, -1, -1};
  ASSERT_EQ(posix_backend.wait_child(nullptr, done, &status, &timing, 1, &message, &code), 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 5);
  EXPECT_GE(timing.user_sec, 0);
  EXPECT_TRUE(timing.user_usec >= 0 && timing.user_usec < 1000000);
  EXPECT_TRUE(timing.sys_usec >= 0 && timing.sys_usec < 1000000);

  EXPECT_EQ(posix_backend.wait_child(nullptr, done, &status, nullptr, 0, &message, &code), -1);
  EXPECT_STREQ(message, "wait");
  EXPECT_EQ(code, ECHILD);
}

TEST(posix_backend, open_and_stream_operations) {
  testutil::scoped_temp_dir dir;
  std::string name = dir / "f";
  mode_t old_mask = umask(022);
  int fd = posix_backend.open_for_write(nullptr, name.c_str(), 0, 1);  // append creates a missing file
  umask(old_mask);
  ASSERT_GE(fd, 0);
  struct stat st;
  ASSERT_EQ(fstat(fd, &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  EXPECT_EQ(write(fd, "abc", 3), 3);
  close(fd);
  fd = posix_backend.open_for_write(nullptr, name.c_str(), 0, 1);
  EXPECT_EQ(write(fd, "d", 1), 1);
  close(fd);
  EXPECT_EQ(testutil::read_file(name), "abcd");
  close(posix_backend.open_for_write(nullptr, name.c_str(), 0, 0));
  EXPECT_EQ(testutil::read_file(name), "");

  errno = 0;
  EXPECT_EQ(posix_backend.open_for_read(nullptr, (dir / "missing").c_str(), 0), -1);
  EXPECT_EQ(errno, ENOENT);

  int ends[2];
  ASSERT_EQ(posix_backend.make_pipe(nullptr, ends, 1), 0);
  for (int fd : ends) {
    EXPECT_EQ(fcntl(fd, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC) << "a child may get a pipe end only through its file actions";
    close(fd);
  }

  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  FILE* w = posix_backend.stream_for_write(nullptr, fds[1], 1);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(fcntl(fds[1], F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
  FILE* r = posix_backend.stream_for_read(nullptr, fds[0], 1);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(fcntl(fds[0], F_GETFD) & FD_CLOEXEC, 0);
  fclose(w);
  fclose(r);
  errno = 0;
  EXPECT_EQ(posix_backend.stream_for_write(nullptr, fds[1], 0), nullptr);
  EXPECT_EQ(errno, EBADF);
}

TEST(posix_backend, pex_destroy_terminates_children_never_collected) {
  testutil::scoped_temp_dir dir;
  std::string ready = dir / "ready", marker = dir / "marker", out = dir / "out";
  // The shell reports the signal it got; the sleep is its own child, so that the
  // trap runs as soon as the signal arrives.
  arg_vector argv{"/bin/sh", "-c",
                  "trap 'kill $s; echo term > \"$0\"; exit 0' TERM; sleep 30 >/dev/null 2>&1 & s=$!; "
                  ": > \"$1\"; wait $s",
                  marker, ready};
  std::vector<int> before = open_descriptors();
  pex_pipeline* p = pex_create(0, "test", nullptr);
  int code = 0;
  ASSERT_EQ(pex_add_stage_inherit_env(p, PEX_FINAL, "/bin/sh", argv.get(), out.c_str(), nullptr, &code), nullptr);
  for (int i = 0; i < 1000 && !testutil::file_exists(ready); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(testutil::file_exists(ready));
  auto begin = std::chrono::steady_clock::now();
  pex_destroy(p);
  EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(10));
  EXPECT_EQ(testutil::read_file(marker), "term\n");
  EXPECT_EQ(open_descriptors(), before);
}

// Every refusal comes before the earlier stage is waited for (it may be stuck writing to
// its error pipe) or its output file opened: a second try still gets that output.
TEST(posix_backend, refused_stage_leaves_earlier_output_for_another_try) {
  struct row {
    const char* name;
    const char* first_script;
    int first_flags;
    int refused_flags;
    const char* refused_err;  // under the scoped directory, or null
  };
  const row rows[] = {
      {"error pipe still pending", "echo data; echo oops >&2", PEX_STDERR_TO_PIPE, PEX_FINAL, nullptr},
      {"error file and error pipe", "echo data", 0, PEX_FINAL | PEX_STDERR_TO_PIPE, "err"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    testutil::scoped_temp_dir dir;
    std::string base = dir / "t", out = dir / "out";
    std::string err = r.refused_err != nullptr ? dir / r.refused_err : "";
    std::vector<int> before = open_descriptors();
    pex_pipeline* p = pex_create(0, "test", base.c_str());
    arg_vector first{"/bin/sh", "-c", r.first_script}, second{"/usr/bin/tr", "a-z", "A-Z"};
    int code = -1;
    ASSERT_EQ(pex_add_stage_inherit_env(p, r.first_flags, first.get()[0], first.get(), nullptr, nullptr, &code),
              nullptr);
    EXPECT_NE(pex_add_stage_inherit_env(p, r.refused_flags, second.get()[0], second.get(), out.c_str(),
                                        err.empty() ? nullptr : err.c_str(), &code),
              nullptr);
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(testutil::file_exists(out)) << "the refused stage opened its output";
    if (r.first_flags & PEX_STDERR_TO_PIPE) {
      FILE* errors = pex_open_stderr(p, 0);
      ASSERT_NE(errors, nullptr);
      char buf[16] = {};
      EXPECT_EQ(fread(buf, 1, sizeof buf - 1, errors), 5u);
      EXPECT_STREQ(buf, "oops\n");
    }
    ASSERT_EQ(pex_add_stage_inherit_env(p, PEX_FINAL, second.get()[0], second.get(), out.c_str(), nullptr, &code),
              nullptr);
    std::vector<int> statuses(2, -1);
    EXPECT_EQ(pex_get_status(p, 2, statuses.data()), 1);
    pex_destroy(p);
    EXPECT_EQ(statuses, (std::vector<int>{0, 0}));
    EXPECT_EQ(testutil::read_file(out), "DATA\n");
    EXPECT_EQ(testutil::list_dir(dir.path()), std::vector<std::string>{"out"});
    EXPECT_EQ(open_descriptors(), before);
  }
}

TEST(posix_backend, children_inherit_nothing_the_pipeline_keeps) {
  // What every child inherits from this process anyway.
  std::string inherited = "fds:";
  for (int fd : open_descriptors()) {
    if (fd > 2 && !(fcntl(fd, F_GETFD) & FD_CLOEXEC)) inherited += " " + std::to_string(fd);
  }
  inherited += "\n";
  testutil::scoped_temp_dir dir;
  std::string tool = testutil::helpers_dir() + "/quarn_fake_tool", out = dir / "out";
  // Each child lists its descriptors; the second copies the first one's list ahead of its own.
  const char* list[] = {"FAKE_TOOL_FDS=1", nullptr};
  const char* copy_and_list[] = {"FAKE_TOOL_CAT=1", "FAKE_TOOL_FDS=1", nullptr};
  std::vector<int> before = open_descriptors();
  pex_pipeline* p = pex_create(PEX_VIA_PIPES, "test", nullptr);
  arg_vector argv{"tool"};
  int code = -1;
  // Each has an error pipe of its own; the first one's stream is kept while the second starts.
  ASSERT_EQ(pex_add_stage(p, PEX_STDERR_TO_PIPE, tool.c_str(), argv.get(), const_cast<char**>(list), nullptr,
                          nullptr, &code),
            nullptr);
  ASSERT_NE(pex_open_stderr(p, 0), nullptr);
  ASSERT_EQ(pex_add_stage(p, PEX_FINAL | PEX_STDERR_TO_PIPE, tool.c_str(), argv.get(),
                          const_cast<char**>(copy_and_list), out.c_str(), nullptr, &code),
            nullptr);
  ASSERT_NE(pex_open_stderr(p, 0), nullptr);
  std::vector<int> statuses(2, -1);
  EXPECT_EQ(pex_get_status(p, 2, statuses.data()), 1);
  pex_destroy(p);
  EXPECT_EQ(statuses, (std::vector<int>{0, 0}));
  EXPECT_EQ(testutil::read_file(out), inherited + inherited);
  EXPECT_EQ(open_descriptors(), before);
}

namespace {
void note_signal(int) {}
}  // namespace

TEST(posix_backend, interrupted_wait_leaves_the_child_to_a_later_call_or_pex_destroy) {
  struct sigaction interrupting = {}, old = {};
  interrupting.sa_handler = note_signal;  // without SA_RESTART, so that the wait fails with EINTR
  sigemptyset(&interrupting.sa_mask);
  ASSERT_EQ(sigaction(SIGALRM, &interrupting, &old), 0);
  for (bool destroy : {false, true}) {
    SCOPED_TRACE(destroy ? "pex_destroy" : "later call");
    std::vector<int> before = open_descriptors();
    pex_pipeline* p = pex_create(PEX_VIA_PIPES, "test", nullptr);
    FILE* in = pex_open_input_pipe(p, 0);
    ASSERT_NE(in, nullptr);
    // The child ends only when its input does, so the wait blocks until a tick interrupts it.
    arg_vector argv{"/bin/sh", "-c", "read line; exit 7"};
    int code = -1;
    ASSERT_EQ(pex_add_stage_inherit_env(p, PEX_FINAL, "/bin/sh", argv.get(), nullptr, nullptr, &code), nullptr);
    pid_t pid = p->child_ids[0];
    // Repeating, so that a tick that comes before the wait begins has another one behind it.
    itimerval ticks = {{0, 20000}, {0, 20000}}, off = {};
    ASSERT_EQ(setitimer(ITIMER_REAL, &ticks, nullptr), 0);
    int status = 12345;
    int got = pex_get_status(p, 1, &status);
    setitimer(ITIMER_REAL, &off, nullptr);
    EXPECT_EQ(got, 0);
    EXPECT_EQ(status, 12345) << "a status that was never collected was copied";
    if (!destroy) {
      fclose(in);
      EXPECT_EQ(pex_get_status(p, 1, &status), 1);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 7) << status;
      pex_destroy(p);
    } else {
      pex_destroy(p);
      fclose(in);
      errno = 0;
      pid_t left = waitpid(pid, nullptr, WNOHANG);
      EXPECT_EQ(left, -1) << "pex_destroy left the child behind";
      EXPECT_EQ(errno, ECHILD);
      if (left == 0) waitpid(pid, nullptr, 0);
    }
    EXPECT_EQ(open_descriptors(), before);
  }
  sigaction(SIGALRM, &old, nullptr);
}

TEST(posix_backend, pipeline_runs_in_a_caller_started_with_standard_streams_closed) {
  // Every pipe and file the pipeline opens takes the lowest free number, one of 0, 1 or 2 here.
  for (const std::vector<int>& closed : {std::vector<int>{0}, {1}, {0, 1, 2}}) {
    SCOPED_TRACE(closed.back());
    testutil::scoped_temp_dir dir;
    std::string out = dir / "out", err = dir / "err";
    testutil::child_result r = testutil::run_in_child([&] {
      int report = dup(1);
      for (int fd : closed) close(fd);
      std::vector<int> before = open_descriptors();
      pex_pipeline* p = pex_create(PEX_VIA_PIPES, "test", nullptr);
      FILE* in = pex_open_input_pipe(p, 0);
      arg_vector first{"/usr/bin/tr", "a-z", "A-Z"}, second{"/bin/sh", "-c", "cat; echo err >&2"};
      int code = 0;
      if (in == nullptr || pex_add_stage_inherit_env(p, 0, first.get()[0], first.get(), nullptr, nullptr, &code) ||
          pex_add_stage_inherit_env(p, PEX_FINAL, "/bin/sh", second.get(), out.c_str(), err.c_str(), &code))
        _exit(1);
      fputs("abc\n", in);
      fclose(in);
      int statuses[2] = {-1, -1};
      int got = pex_get_status(p, 2, statuses);
      pex_destroy(p);
      dprintf(report, "%d %d %d %d", got, statuses[0], statuses[1], open_descriptors() == before);
    });
    EXPECT_EQ(r.out, "1 0 0 1");
    EXPECT_EQ(testutil::read_file(out), "ABC\n");
    EXPECT_EQ(testutil::read_file(err), "err\n");
  }
}
