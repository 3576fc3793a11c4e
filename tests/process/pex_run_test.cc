#include "process/pex_run.h"

#include <sys/wait.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "process/pex_pipeline.h"
#include "process_test_util.h"
#include "common/test_util.h"

using testutil::arg_vector;

TEST(pex_run_command, stores_raw_wait_status) {
  struct row {
    const char* script;
    bool exited;
    int value;  // exit status or signal
  };
  const row rows[] = {{"exit 0", true, 0}, {"exit 3", true, 3}, {"kill -TERM $$", false, SIGTERM}};
  for (const row& r : rows) {
    SCOPED_TRACE(r.script);
    std::vector<int> before = testutil::open_descriptors();
    arg_vector argv{"sh", "-c", r.script};
    int status = -1, code = -1;
    EXPECT_EQ(pex_run_command(PEX_FINAL | PEX_PATH_SEARCH, "sh", argv.get(), "test", nullptr, nullptr, &status,
                              &code),
              nullptr);
    EXPECT_EQ(code, 0);
    if (r.exited) {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == r.value) << status;
    } else {
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == r.value) << status;
    }
    EXPECT_EQ(testutil::open_descriptors(), before);
  }
}

TEST(pex_run_command, failed_start_leaves_status_untouched) {
  struct row {
    int flags;
    const char* executable;
    const char* message;
  };
  const row rows[] = {
      {PEX_FINAL | PEX_PATH_SEARCH, "quarn-no-such-program", "posix_spawnp"},
      {PEX_FINAL, "/nonexistent-quarn-dir/prog", "posix_spawn"},
  };
  for (const row& r : rows) {
    std::vector<int> before = testutil::open_descriptors();
    arg_vector argv{"prog"};
    int status = 12345, code = 0;
    EXPECT_STREQ(pex_run_command(r.flags, r.executable, argv.get(), "test", nullptr, nullptr, &status, &code),
                 r.message);
    EXPECT_EQ(code, ENOENT);
    EXPECT_EQ(status, 12345);
    EXPECT_EQ(testutil::open_descriptors(), before);
  }
}

TEST(pex_run_command, writes_named_output_and_error_files) {
  testutil::scoped_temp_dir dir;
  std::string out = dir / "out", err = dir / "err";
  arg_vector argv{"/bin/sh", "-c", "echo to-out; echo to-err >&2"};
  int status = -1, code = -1;
  ASSERT_EQ(pex_run_command(PEX_FINAL, "/bin/sh", argv.get(), "test", out.c_str(), err.c_str(), &status, &code),
            nullptr);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(testutil::read_file(out), "to-out\n");
  EXPECT_EQ(testutil::read_file(err), "to-err\n");
}

TEST(pex_run_command, non_final_stage_output_goes_to_removed_temporary_file) {
  testutil::scoped_temp_dir dir;
  // temp_dir() keeps its first choice for the whole process.
  testutil::child_result r = testutil::run_in_child([&] {
    setenv("TMPDIR", dir.path().c_str(), 1);
    // The child names the file it writes on its standard error, which is ours.
    arg_vector argv{"/bin/sh", "-c", "echo lost-output; ls \"$TMPDIR\" >&2"};
    int status = -1, code = -1;
    const char* message =
        pex_run_command(PEX_PATH_SEARCH, "/bin/sh", argv.get(), "test", nullptr, nullptr, &status, &code);
    printf("%s %d\n", message == nullptr ? "ok" : message, status);
  });
  ASSERT_EQ(r.exit_code(), 0) << r.err;
  EXPECT_EQ(r.out, "ok 0\n");
  EXPECT_EQ(r.err.size(), 9u) << r.err;
  EXPECT_EQ(r.err.substr(0, 2), "cc");
  EXPECT_TRUE(testutil::list_dir(dir.path()).empty());
}
