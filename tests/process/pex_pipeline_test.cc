#include "process/pex_pipeline.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fake_backend.h"
#include "process/pex_streams.h"
#include "common/test_util.h"

using testutil::fake_backend;
using lines = std::vector<std::string>;

namespace {

char* const prog_argv[] = {const_cast<char*>("prog"), nullptr};

struct stage {
  int flags;
  const char* out;
  const char* err;
};

const char* add(pex_pipeline* p, const stage& s, int* code) {
  return pex_add_stage(p, s.flags, "prog", prog_argv, nullptr, s.out, s.err, code);
}

void add_ok(pex_pipeline* p, const stage& s) {
  int code = 0;
  ASSERT_EQ(add(p, s, &code), nullptr);
}

}  // namespace

TEST(pex_add_stage, failures_give_message_code_and_close_only_their_descriptors) {
  struct row {
    const char* name;
    int pipeline_flags;
    const char* base;
    std::vector<stage> before;
    stage failing;
    const char* fail_op;
    int fail_nth;
    int fail_code;
    const char* message;
    int code;
    lines closes;
  };
  const int F = PEX_FINAL;
  const row rows[] = {
      {"wait before temp input", 0, nullptr, {{0, "mid", nullptr}}, {F, nullptr, nullptr}, "wait_child", 1, EINTR,
       "wait", EINTR, {}},
      {"open temp input", 0, nullptr, {{0, "mid", nullptr}}, {F, nullptr, nullptr}, "open_for_read", 1, ENOENT,
       "open temporary file", ENOENT, {}},
      {"complete", 0, nullptr, {{F, nullptr, nullptr}}, {F, nullptr, nullptr}, "", 0, 0,
       "pipeline already complete", 0, {}},
      {"temp name", 0, "/nonexistent-quarn-dir/t", {}, {0, nullptr, nullptr}, "", 0, 0,
       "could not create temporary file", 0, {}},
      {"output pipe", PEX_VIA_PIPES, nullptr, {{0, nullptr, nullptr}}, {0, nullptr, nullptr}, "make_pipe", 2, EMFILE,
       "pipe", EMFILE, {"close_fd 10"}},
      {"final output", 0, nullptr, {}, {F, "out", nullptr}, "open_for_write", 1, EACCES,
       "open temporary output file", EACCES, {}},
      {"temp output", 0, nullptr, {}, {0, "mid", nullptr}, "open_for_write", 1, ENOSPC,
       "open temporary output file", ENOSPC, {}},
      {"both", 0, nullptr, {}, {F | PEX_STDERR_TO_PIPE, "out", "err"}, "", 0, 0,
       "both ERRNAME and PEX_STDERR_TO_PIPE specified.", 0, {}},
      {"middle", PEX_VIA_PIPES, nullptr, {{PEX_STDERR_TO_PIPE, nullptr, nullptr}}, {F, nullptr, nullptr}, "", 0, 0,
       "PEX_STDERR_TO_PIPE used in the middle of pipeline", 0, {}},
      {"error file", 0, nullptr, {}, {F, "out", "err"}, "open_for_write", 2, EACCES, "open error file", EACCES,
       {"close_fd 10"}},
      {"error pipe", 0, nullptr, {}, {F | PEX_STDERR_TO_PIPE, "out", nullptr}, "make_pipe", 1, EMFILE, "pipe",
       EMFILE, {"close_fd 10"}},
      // The back end has closed what it was given.
      {"spawn", PEX_VIA_PIPES, nullptr, {{0, nullptr, nullptr}}, {F, "out", "err"}, "spawn_child", 2, ENOENT,
       "posix_spawn", ENOENT, {}},
      {"spawn keeps stderr read end", 0, nullptr, {}, {F | PEX_STDERR_TO_PIPE, nullptr, nullptr}, "spawn_child", 1,
       ENOENT, "posix_spawn", ENOENT, {}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    fake_backend f;
    f.fail(r.fail_op, r.fail_nth, r.fail_code);
    pex_pipeline* p = f.create(r.pipeline_flags, r.base);
    for (const stage& s : r.before) add_ok(p, s);
    size_t mark = f.calls.size();
    int children = p->child_count;
    int code = -1;
    EXPECT_STREQ(add(p, r.failing, &code), r.message);
    EXPECT_EQ(code, r.code);
    EXPECT_EQ(p->child_count, children);
    lines closes;
    for (size_t i = mark; i < f.calls.size(); ++i) {
      if (f.calls[i].rfind("close_fd", 0) == 0) closes.push_back(f.calls[i]);
    }
    EXPECT_EQ(closes, r.closes);
    pex_destroy(p);
    EXPECT_TRUE(f.open_fds.empty()) << "a descriptor outlived the pipeline";
    // A number closed twice may by then be a file of the caller's.
    EXPECT_EQ(f.stray_closes, std::vector<int>{}) << "closed a descriptor it did not hold";
  }
}

TEST(pex_add_stage, failed_input_stream_close_keeps_error_code) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  close(fds[0]);  // flushing into a pipe without reader fails with EPIPE
  FILE* stream = fdopen(fds[1], "w");
  ASSERT_NE(stream, nullptr);
  fputs("pending", stream);
  fake_backend f;
  pex_pipeline* p = f.create(0);
  p->input_stream = stream;
  int code = 1234;
  EXPECT_STREQ(add(p, {PEX_FINAL, nullptr, nullptr}, &code), "closing pipeline input file");
  EXPECT_EQ(code, 1234);
  EXPECT_EQ(p->input_stream, nullptr);
  EXPECT_TRUE(f.calls.empty());
  pex_destroy(p);
}

TEST(pex_add_stage, descriptors_and_flags_reach_the_backend) {
  struct row {
    int pipeline_flags;
    std::vector<stage> stages;
    lines expected;
  };
  const row rows[] = {
      // Inherited standard streams: nothing is opened, nothing closed.
      {0, {{PEX_FINAL | PEX_PATH_SEARCH, nullptr, nullptr}}, {"spawn_child 0x3 prog in=0 out=1 err=2 close=-1"}},
      // Each child closes the read end of its own output pipe.
      {PEX_VIA_PIPES,
       {{PEX_OUTPUT_BINARY, nullptr, nullptr}, {0, nullptr, nullptr}, {PEX_FINAL, nullptr, nullptr}},
       {"make_pipe bin=1", "spawn_child 0x20 prog in=0 out=11 err=2 close=10", "make_pipe bin=0",
        "spawn_child 0x0 prog in=10 out=13 err=2 close=12", "spawn_child 0x1 prog in=12 out=1 err=2 close=-1"}},
      // A temporary file is read only after its writer has been waited for.
      {0,
       {{PEX_OUTPUT_APPEND, "mid", nullptr}, {PEX_FINAL | PEX_INPUT_BINARY, nullptr, nullptr}},
       {"open_for_write mid bin=0 app=1", "spawn_child 0x100 prog in=0 out=10 err=2 close=-1", "wait_child 100",
        "open_for_read mid bin=1", "spawn_child 0x11 prog in=11 out=1 err=2 close=-1"}},
      {0,
       {{PEX_FINAL | PEX_OUTPUT_BINARY | PEX_ERROR_BINARY | PEX_ERROR_APPEND, "out", "err"}},
       {"open_for_write out bin=1 app=0", "open_for_write err bin=1 app=1",
        "spawn_child 0x2a1 prog in=0 out=10 err=11 close=-1"}},
      {0,
       {{PEX_FINAL | PEX_STDERR_TO_PIPE | PEX_ERROR_BINARY, nullptr, nullptr}},
       {"make_pipe bin=1", "spawn_child 0xc1 prog in=0 out=1 err=11 close=-1"}},
  };
  for (const row& r : rows) {
    fake_backend f;
    pex_pipeline* p = f.create(r.pipeline_flags);
    for (const stage& s : r.stages) add_ok(p, s);
    EXPECT_EQ(f.calls, r.expected);
    EXPECT_EQ(p->child_count, static_cast<int>(r.stages.size()));
    pex_destroy(p);
  }
}

TEST(pex_add_stage, final_stage_that_fails_still_completes_pipeline) {
  fake_backend f;
  f.fail("open_for_write", 1, EACCES);
  pex_pipeline* p = f.create(0);
  int code = 0;
  EXPECT_STREQ(add(p, {PEX_FINAL, "out", nullptr}, &code), "open temporary output file");
  EXPECT_STREQ(add(p, {PEX_FINAL, nullptr, nullptr}, &code), "pipeline already complete");
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(f.calls_of("spawn_child").empty());
  pex_destroy(p);
}

TEST(pex_add_stage, final_output_suffix_is_joined_to_base) {
  fake_backend f;
  pex_pipeline* p = f.create(0, "/work/base");
  add_ok(p, {PEX_FINAL | PEX_OUTNAME_SUFFIX, ".o", nullptr});
  EXPECT_EQ(f.calls_of("open_for_write"), lines{"open_for_write /work/base.o bin=0 app=0"});
  pex_destroy(p);
}

TEST(pex_add_stage, stderr_pipe_blocks_later_stages_until_taken) {
  fake_backend f;
  pex_pipeline* p = f.create(PEX_VIA_PIPES);
  add_ok(p, {PEX_STDERR_TO_PIPE, nullptr, nullptr});  // output pipe 10/11, error pipe 12/13
  int code = -1;
  size_t calls = f.calls.size();
  EXPECT_STREQ(add(p, {0, nullptr, nullptr}, &code), "PEX_STDERR_TO_PIPE used in the middle of pipeline");
  EXPECT_EQ(code, 0);
  EXPECT_EQ(f.calls.size(), calls) << "the refusal touched nothing";
  FILE* err = pex_open_stderr(p, 0);
  EXPECT_NE(err, nullptr);
  EXPECT_EQ(p->stderr_read_fd, -1);
  EXPECT_EQ(pex_open_stderr(p, 0), nullptr);
  add_ok(p, {PEX_FINAL, nullptr, nullptr});
  EXPECT_EQ(f.calls_of("spawn_child").back(), "spawn_child 0x1 prog in=10 out=1 err=2 close=-1");
  pex_destroy(p);
  EXPECT_TRUE(f.open_fds.empty());
}

TEST(pex_add_stage, temporary_outputs_are_removed_unless_kept) {
  for (int keep : {0, PEX_KEEP_TEMPS}) {
    testutil::scoped_temp_dir dir;
    std::string base = dir / "stage";
    std::string named = dir / "named";
    fake_backend f;
    pex_pipeline* p = f.create(keep, base.c_str());
    add_ok(p, {0, nullptr, nullptr});  // a fresh name made from the base
    std::string fresh = p->next_stdin_name;
    EXPECT_EQ(fresh.size(), base.size() + 6);
    EXPECT_EQ(p->next_stdin_name_owned, keep ? 1 : 0);
    add_ok(p, {0, named.c_str(), nullptr});  // the caller's own name
    EXPECT_EQ(p->next_stdin_name, named.c_str());
    EXPECT_EQ(p->next_stdin_name_owned, 0);
    testutil::write_file(named, "x");
    add_ok(p, {PEX_FINAL, nullptr, nullptr});
    EXPECT_EQ(p->temp_file_count, keep ? 0 : 2);
    pex_destroy(p);
    EXPECT_EQ(testutil::file_exists(fresh), keep != 0);
    EXPECT_EQ(testutil::file_exists(named), keep != 0);
  }
}

TEST(pex_temp_name, follows_name_suffix_and_base) {
  testutil::scoped_temp_dir dir;
  std::string base = dir / "tmp";
  struct row {
    std::string base;       // "" for none
    const char* name;
    int flags;
    std::string prefix;     // expected result before the six mkstemps characters ("" when returned as is)
    std::string exact;      // expected full result when no characters are made
  };
  const row rows[] = {
      {base, "given", 0, "", "given"},
      {base, ".s", PEX_OUTNAME_SUFFIX, "", base + ".s"},
      {base, nullptr, 0, base, ""},
      {base + "XXXXXX", nullptr, 0, base, ""},
      {base + "XXXXX", nullptr, 0, base + "XXXXX", ""},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.base + " " + (r.name ? r.name : "(null)"));
    fake_backend f;
    pex_pipeline* p = f.create(0, r.base.c_str());
    char* got = pex_temp_name(p, r.flags, r.name);
    ASSERT_NE(got, nullptr);
    if (!r.exact.empty()) {
      EXPECT_EQ(std::string(got), r.exact);
      EXPECT_FALSE(testutil::file_exists(got));
    } else {
      std::string s = got;
      ASSERT_EQ(s.size(), r.prefix.size() + 6);
      EXPECT_EQ(s.substr(0, r.prefix.size()), r.prefix);
      EXPECT_NE(s.substr(r.prefix.size()), "XXXXXX");
      EXPECT_TRUE(testutil::file_exists(s));
    }
    if (r.name != nullptr && !(r.flags & PEX_OUTNAME_SUFFIX)) {
      EXPECT_EQ(got, r.name);
    } else {
      free(got);
    }
    pex_destroy(p);
  }
  fake_backend f;
  pex_pipeline* p = f.create(0, "/nonexistent-quarn-dir/t");
  EXPECT_EQ(pex_temp_name(p, 0, nullptr), nullptr);
  pex_destroy(p);
}

TEST(pex_temp_name, without_base_creates_file_in_temp_dir) {
  testutil::scoped_temp_dir dir;
  // temp_dir() keeps its first choice for the whole process.
  testutil::child_result r = testutil::run_in_child([&] {
    setenv("TMPDIR", dir.path().c_str(), 1);
    fake_backend f;
    pex_pipeline* p = f.create(0);
    char* with_suffix = pex_temp_name(p, PEX_OUTNAME_SUFFIX, ".s");
    char* plain = pex_temp_name(p, 0, nullptr);
    printf("%s\n%s\n", with_suffix, plain);
  });
  ASSERT_EQ(r.exit_code(), 0) << r.err;
  std::string prefix = dir.path() + "/cc";
  size_t nl = r.out.find('\n');
  std::string with_suffix = r.out.substr(0, nl), plain = r.out.substr(nl + 1, r.out.size() - nl - 2);
  EXPECT_EQ(with_suffix.size(), prefix.size() + 8);
  EXPECT_EQ(with_suffix.substr(0, prefix.size()), prefix);
  EXPECT_EQ(with_suffix.substr(with_suffix.size() - 2), ".s");
  EXPECT_EQ(plain.size(), prefix.size() + 6);
  EXPECT_EQ(plain.substr(0, prefix.size()), prefix);
  EXPECT_EQ(testutil::list_dir(dir.path()).size(), 2u);
}

TEST(pex_get_status, copies_n_statuses_in_order_and_zeros_beyond) {
  fake_backend f;
  pex_pipeline* p = f.create(PEX_VIA_PIPES);
  for (int i = 0; i < 2; ++i) add_ok(p, {0, nullptr, nullptr});
  add_ok(p, {PEX_FINAL, nullptr, nullptr});
  int fewer[2] = {-1, -1};
  ASSERT_EQ(pex_get_status(p, 2, fewer), 1);
  EXPECT_EQ(std::vector<int>(fewer, fewer + 2), (std::vector<int>{1 << 8, 2 << 8}));
  int more[5] = {-1, -1, -1, -1, -1};
  ASSERT_EQ(pex_get_status(p, 5, more), 1);
  EXPECT_EQ(std::vector<int>(more, more + 5), (std::vector<int>{1 << 8, 2 << 8, 3 << 8, 0, 0}));
  EXPECT_EQ(f.calls_of("wait_child"), (lines{"wait_child 100", "wait_child 101", "wait_child 102"}));
  pex_destroy(p);

  fake_backend empty;
  p = empty.create(0);
  int none[3] = {-1, -1, -1};
  ASSERT_EQ(pex_get_status(p, 3, none), 1);
  EXPECT_EQ(std::vector<int>(none, none + 3), (std::vector<int>{0, 0, 0}));
  EXPECT_EQ(p->statuses, nullptr);
  pex_destroy(p);
  EXPECT_EQ(empty.calls, lines{"finish"});
}

TEST(pex_collect_children, failed_wait_keeps_going_and_counts_as_collected) {
  fake_backend f;
  f.fail("wait_child", 2, ECHILD);
  pex_pipeline* p = f.create(PEX_VIA_PIPES);
  for (int i = 0; i < 2; ++i) add_ok(p, {0, nullptr, nullptr});
  add_ok(p, {PEX_FINAL, nullptr, nullptr});
  const char* message = nullptr;
  int code = 0;
  EXPECT_EQ(pex_collect_children(p, 0, &message, &code), 0);
  EXPECT_STREQ(message, "wait");
  EXPECT_EQ(code, ECHILD);
  EXPECT_EQ(f.calls_of("wait_child").size(), 3u);
  EXPECT_EQ(p->collected_count, 3);
  EXPECT_EQ(p->statuses[2], 3 << 8);
  pex_destroy(p);
  EXPECT_EQ(f.calls_of("wait_child").size(), 3u);

  fake_backend g;
  g.fail("wait_child", 1, ECHILD);
  p = g.create(0);
  add_ok(p, {PEX_FINAL, nullptr, nullptr});
  int status = 77;
  EXPECT_EQ(pex_get_status(p, 1, &status), 0);
  EXPECT_EQ(status, 77);
  EXPECT_EQ(pex_get_status(p, 1, &status), 0) << "a later call has no status to copy either";
  EXPECT_EQ(status, 77);
  pex_destroy(p);
}

TEST(pex_destroy, closes_read_ends_then_signals_uncollected_children) {
  fake_backend f;
  pex_pipeline* p = f.create(PEX_VIA_PIPES);
  add_ok(p, {0, nullptr, nullptr});                   // output pipe 10/11
  add_ok(p, {PEX_STDERR_TO_PIPE, nullptr, nullptr});  // output pipe 12/13, error pipe 14/15
  size_t mark = f.calls.size();
  pex_destroy(p);
  EXPECT_EQ(lines(f.calls.begin() + static_cast<long>(mark), f.calls.end()),
            (lines{"close_fd 12", "close_fd 14", "wait_child 100 kill", "wait_child 101 kill", "finish"}));
  EXPECT_TRUE(f.open_fds.empty());
}

TEST(pex_destroy, signals_no_one_after_get_status_and_records_no_times) {
  fake_backend f;
  pex_pipeline* p = f.create(PEX_VIA_PIPES | PEX_TIMING);
  add_ok(p, {0, nullptr, nullptr});
  int status;
  ASSERT_EQ(pex_get_status(p, 1, &status), 1);
  add_ok(p, {PEX_FINAL, nullptr, nullptr});
  pex_destroy(p);
  // The second child was started after the timed collection: pex_destroy waits for it
  // with a kill and without a record.
  EXPECT_EQ(f.calls_of("wait_child"), (lines{"wait_child 100 timing", "wait_child 101 kill"}));

  fake_backend g;
  p = g.create(0);
  add_ok(p, {PEX_FINAL, nullptr, nullptr});
  ASSERT_EQ(pex_get_status(p, 1, &status), 1);
  pex_destroy(p);
  EXPECT_EQ(g.calls_of("wait_child"), lines{"wait_child 100"});
}
