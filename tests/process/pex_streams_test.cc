#include "process/pex_streams.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fake_backend.h"
#include "process/pex_posix.h"
#include "process_test_util.h"
#include "common/test_util.h"

using testutil::arg_vector;
using testutil::fake_backend;
using lines = std::vector<std::string>;

namespace {

char* const prog_argv[] = {const_cast<char*>("prog"), nullptr};

const char* add(pex_pipeline* p, int flags, const char* out = nullptr) {
  int code = 0;
  return pex_add_stage(p, flags, "prog", prog_argv, nullptr, out, nullptr, &code);
}

std::string read_all(FILE* stream) {
  std::string data;
  char buf[256];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, stream)) > 0) data.append(buf, n);
  return data;
}

}  // namespace

TEST(pex_streams, input_streams_refuse_misuse_with_einval) {
  testutil::scoped_temp_dir dir;
  std::string name = dir / "in";
  struct row {
    const char* name;
    int pipeline_flags;
    std::function<void(fake_backend&, pex_pipeline*)> setup;
    bool pipe;  // pex_open_input_pipe, else pex_set_input_file
  };
  // A final stage that fails at its output starts nothing, but completes the pipeline.
  auto failed_final = [](fake_backend& f, pex_pipeline* p) {
    f.fail("open_for_write", 1, EACCES);
    add(p, PEX_FINAL, "out");
  };
  const row rows[] = {
      {"file after a stage", 0, [](fake_backend&, pex_pipeline* p) { add(p, 0); }, false},
      {"file twice", 0, [&](fake_backend&, pex_pipeline* p) { pex_set_input_file(p, 0, name.c_str()); }, false},
      {"file after pipe", PEX_VIA_PIPES, [](fake_backend&, pex_pipeline* p) { fclose(pex_open_input_pipe(p, 0)); },
       false},
      {"file after a failed final stage", 0, failed_final, false},
      {"pipe without PEX_VIA_PIPES", 0, [](fake_backend&, pex_pipeline*) {}, true},
      {"pipe after a stage", PEX_VIA_PIPES, [](fake_backend&, pex_pipeline* p) { add(p, 0); }, true},
      {"pipe after a failed final stage", PEX_VIA_PIPES, failed_final, true},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    fake_backend f;
    pex_pipeline* p = f.create(r.pipeline_flags);
    r.setup(f, p);
    FILE* held = p->input_stream;
    size_t calls = f.calls.size();
    errno = 0;
    EXPECT_EQ(r.pipe ? pex_open_input_pipe(p, 0) : pex_set_input_file(p, 0, name.c_str()), nullptr);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(f.calls.size(), calls);
    pex_destroy(p);
    if (held != nullptr) fclose(held);  // pex_destroy leaves a stream no stage took
  }
}

TEST(pex_streams, unwrappable_descriptors_are_closed_not_lost) {
  fake_backend f;
  f.fail("stream_for_write", 1, EMFILE);
  pex_pipeline* p = f.create(PEX_VIA_PIPES);
  errno = 0;
  EXPECT_EQ(pex_open_input_pipe(p, 1), nullptr);
  EXPECT_EQ(errno, EMFILE);
  EXPECT_EQ(p->next_stdin_fd, 0);
  EXPECT_EQ(f.calls_of("close_fd"), (lines{"close_fd 10", "close_fd 11"}));
  pex_destroy(p);

  fake_backend g;
  g.fail("stream_for_read", 1, ENOMEM);
  p = g.create(PEX_VIA_PIPES);
  ASSERT_EQ(add(p, 0), nullptr);  // output pipe 10/11
  errno = 0;
  EXPECT_EQ(pex_open_stdout(p, 0), nullptr);
  EXPECT_EQ(errno, ENOMEM);
  EXPECT_EQ(p->next_stdin_fd, -1);
  EXPECT_EQ(g.calls_of("close_fd"), lines{"close_fd 10"});
  pex_destroy(p);
  EXPECT_TRUE(g.open_fds.empty());
}

TEST(pex_streams, stdout_on_pipe_completes_pipeline) {
  fake_backend f;
  pex_pipeline* p = f.create(PEX_VIA_PIPES);
  ASSERT_EQ(add(p, 0), nullptr);
  FILE* out = pex_open_stdout(p, 0);
  EXPECT_NE(out, nullptr);
  EXPECT_EQ(p->stdout_stream, out);
  EXPECT_EQ(p->next_stdin_fd, -1);
  EXPECT_STREQ(add(p, PEX_FINAL), "pipeline already complete");
  EXPECT_EQ(pex_open_stdout(p, 0), nullptr);
  pex_destroy(p);
  EXPECT_TRUE(f.open_fds.empty());
}

TEST(pex_get_timings, copies_records_only_when_times_were_taken) {
  pex_timing t[3];
  fake_backend none;
  pex_pipeline* p = none.create(PEX_TIMING);
  EXPECT_EQ(pex_get_timings(p, 3, t), 0);
  pex_destroy(p);

  fake_backend untimed;
  p = untimed.create(0);
  ASSERT_EQ(add(p, PEX_FINAL), nullptr);
  EXPECT_EQ(pex_get_timings(p, 3, t), 0);
  pex_destroy(p);

  fake_backend timed;
  p = timed.create(PEX_TIMING | PEX_VIA_PIPES);
  ASSERT_EQ(add(p, 0), nullptr);
  ASSERT_EQ(add(p, PEX_FINAL), nullptr);
  memset(t, 0xff, sizeof t);
  ASSERT_EQ(pex_get_timings(p, 3, t), 1);
  const int64_t expected[3][4] = {{100, 1, 2, 3}, {101, 1, 2, 3}, {0, 0, 0, 0}};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ((std::vector<int64_t>{t[i].user_sec, t[i].user_usec, t[i].sys_sec, t[i].sys_usec}),
              std::vector<int64_t>(expected[i], expected[i] + 4));
  }
  pex_destroy(p);
}

TEST(pex_open_stdout, reads_last_stage_through_pipe_or_file) {
  struct row {
    int pipeline_flags;
    size_t files_left;
  };
  for (const row& r : {row{PEX_VIA_PIPES, 0}, row{0, 0}, row{PEX_KEEP_TEMPS, 2}}) {
    SCOPED_TRACE(r.pipeline_flags);
    testutil::scoped_temp_dir dir;
    std::string base = dir / "t";
    std::vector<int> before = testutil::open_descriptors();
    pex_pipeline* p = pex_create(r.pipeline_flags, "test", base.c_str());
    arg_vector first{"/bin/sh", "-c", "echo one; echo two"}, second{"/usr/bin/tr", "a-z", "A-Z"};
    int code = 0;
    ASSERT_EQ(pex_add_stage_inherit_env(p, 0, first.get()[0], first.get(), nullptr, nullptr, &code), nullptr);
    ASSERT_EQ(pex_add_stage_inherit_env(p, 0, second.get()[0], second.get(), nullptr, nullptr, &code), nullptr);
    FILE* out = pex_open_stdout(p, 0);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(read_all(out), "ONE\nTWO\n");
    int statuses[2] = {-1, -1};
    EXPECT_EQ(pex_get_status(p, 2, statuses), 1);
    EXPECT_EQ(statuses[0] | statuses[1], 0);
    pex_destroy(p);
    EXPECT_EQ(testutil::list_dir(dir.path()).size(), r.files_left);
    EXPECT_EQ(testutil::open_descriptors(), before);
  }
}

TEST(pex_destroy, closes_every_stream_it_kept) {
  struct row {
    const char* name;
    int stage_flags;
    FILE* (*open)(pex_pipeline*, int);
  };
  // Each stream taken before the next stage is added stays the caller's to read.
  const row rows[] = {{"error pipes", PEX_STDERR_TO_PIPE, pex_open_stderr}, {"outputs", 0, pex_open_stdout}};
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    testutil::scoped_temp_dir dir;
    std::string base = dir / "t";
    std::vector<int> before = testutil::open_descriptors();
    pex_pipeline* p = pex_create(0, "test", base.c_str());
    arg_vector argv{"/bin/sh", "-c", "echo line"};
    for (int i = 0; i < 2; ++i) {
      int code = -1;
      ASSERT_EQ(pex_add_stage_inherit_env(p, r.stage_flags, argv.get()[0], argv.get(), nullptr, nullptr, &code),
                nullptr);
      ASSERT_NE(r.open(p, 0), nullptr);
    }
    int statuses[2] = {-1, -1};
    EXPECT_EQ(pex_get_status(p, 2, statuses), 1);
    pex_destroy(p);
    EXPECT_EQ(testutil::open_descriptors(), before);
  }
}

TEST(pex_set_input_file, removes_the_file_it_made_when_it_cannot_open_it) {
  testutil::scoped_temp_dir dir;
  chmod(dir.path().c_str(), 0777);
  std::string base = dir / "t";
  testutil::child_result r = testutil::run_in_child([&] {
    // The mask leaves the file it makes no permission at all, so that opening it for
    // writing fails; root would open it all the same.
    if (!testutil::become_unprivileged() || access(dir.path().c_str(), W_OK | X_OK) != 0) _exit(77);
    umask(0777);
    pex_pipeline* p = pex_create(0, "test", base.c_str());
    errno = 0;
    FILE* in = pex_set_input_file(p, 0, nullptr);
    printf("%s %d", in == nullptr ? "null" : "stream", errno);
    pex_destroy(p);
  });
  if (r.exit_code() == 77) GTEST_SKIP() << "cannot run as an unprivileged user";
  ASSERT_EQ(r.exit_code(), 0) << r.err;
  EXPECT_EQ(r.out, "null " + std::to_string(EACCES));
  EXPECT_EQ(testutil::list_dir(dir.path()), std::vector<std::string>{});
}

TEST(pex_set_input_file, leaves_a_named_file_it_cannot_open) {
  testutil::scoped_temp_dir dir;
  std::string base = dir / "t";
  testutil::make_dirs(base + ".in");  // opening a directory for writing fails even for root
  pex_pipeline* p = pex_create(0, "test", base.c_str());
  errno = 0;
  EXPECT_EQ(pex_set_input_file(p, PEX_OUTNAME_SUFFIX, ".in"), nullptr);
  EXPECT_EQ(errno, EISDIR);
  pex_destroy(p);
  EXPECT_EQ(testutil::list_dir(dir.path()), std::vector<std::string>{"t.in"});
}

TEST(pex_set_input_file, feeds_first_stage_and_cleans_up_its_own_file) {
  struct row {
    int pipeline_flags;
    bool named;
    size_t files_left;  // the output included
  };
  for (const row& r : {row{0, true, 2}, row{0, false, 1}, row{PEX_KEEP_TEMPS, false, 2}, row{PEX_VIA_PIPES, false, 1}}) {
    SCOPED_TRACE(std::to_string(r.pipeline_flags) + (r.named ? " named" : " generated"));
    testutil::scoped_temp_dir dir;
    std::string base = dir / "t", name = dir / "in", out = dir / "out";
    std::vector<int> before = testutil::open_descriptors();
    pex_pipeline* p = pex_create(r.pipeline_flags, "test", base.c_str());
    FILE* in = pex_set_input_file(p, PEX_OUTPUT_BINARY, r.named ? name.c_str() : nullptr);
    ASSERT_NE(in, nullptr);
    fputs("hello world\n", in);
    arg_vector argv{"/usr/bin/tr", " ", "_"};
    int code = 0;
    ASSERT_EQ(pex_add_stage_inherit_env(p, PEX_FINAL, argv.get()[0], argv.get(), out.c_str(), nullptr, &code),
              nullptr);
    EXPECT_EQ(p->input_stream, nullptr);
    int status = -1;
    EXPECT_EQ(pex_get_status(p, 1, &status), 1);
    pex_destroy(p);
    EXPECT_EQ(testutil::read_file(out), "hello_world\n");
    EXPECT_EQ(testutil::list_dir(dir.path()).size(), r.files_left);
    EXPECT_EQ(testutil::open_descriptors(), before);
  }
}

TEST(pex_open_input_pipe, feeds_first_stage_until_caller_closes) {
  testutil::scoped_temp_dir dir;
  std::string out = dir / "out";
  std::vector<int> before = testutil::open_descriptors();
  pex_pipeline* p = pex_create(PEX_VIA_PIPES, "test", nullptr);
  FILE* in = pex_open_input_pipe(p, 0);
  ASSERT_NE(in, nullptr);
  arg_vector argv{"/usr/bin/tr", "a-z", "A-Z"};
  int code = 0;
  ASSERT_EQ(pex_add_stage_inherit_env(p, PEX_FINAL, argv.get()[0], argv.get(), out.c_str(), nullptr, &code),
            nullptr);
  fputs("abc\n", in);
  // The child sees end of file only if it did not inherit the write end.
  fclose(in);
  int status = -1;
  EXPECT_EQ(pex_get_status(p, 1, &status), 1);
  EXPECT_EQ(status, 0);
  pex_destroy(p);
  EXPECT_EQ(testutil::read_file(out), "ABC\n");
  EXPECT_EQ(testutil::open_descriptors(), before);
}

TEST(pex_get_timings, records_cpu_time_of_real_children) {
  pex_pipeline* p = pex_create(PEX_TIMING, "test", nullptr);
  arg_vector argv{"/bin/sh", "-c", "i=0; while [ $i -lt 100000 ]; do i=$((i+1)); done"};
  int code = 0;
  ASSERT_EQ(pex_add_stage_inherit_env(p, PEX_FINAL, argv.get()[0], argv.get(), nullptr, nullptr, &code), nullptr);
  pex_timing t[2];
  memset(t, 0xff, sizeof t);
  ASSERT_EQ(pex_get_timings(p, 2, t), 1);
  EXPECT_GT(t[0].user_sec * 1000000 + t[0].user_usec + t[0].sys_sec * 1000000 + t[0].sys_usec, 0);
  EXPECT_TRUE(t[0].user_usec >= 0 && t[0].user_usec < 1000000 && t[0].sys_usec >= 0 && t[0].sys_usec < 1000000);
  EXPECT_EQ(t[1].user_sec | t[1].user_usec | t[1].sys_sec | t[1].sys_usec, 0);
  pex_destroy(p);
}
