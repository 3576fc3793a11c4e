// @-files on the wrapper's command line, and the response file handed to the tool.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <csignal>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "driver/response_file.h"
#include "quarn_config.h"
#include "support/checked_alloc.h"
#include "common/staged_tree.h"
#include "common/test_util.h"

extern char** environ;

namespace {

using testutil::child_result;
using testutil::read_file;
using testutil::read_recorded_argv;
using testutil::run_options;
using testutil::run_program;
using testutil::staged_tree;
using testutil::write_file;
using strings = std::vector<std::string>;

using testutil::built_wrapper;

// Fake tools reached with -B, a private temporary directory, and a working directory
// that holds the @-files.
struct response_tree : testutil::fake_tool_tree {
  response_tree() {
    for (const char* dir : {"/tmp", "/work"}) testutil::make_dirs(tree.root() + dir);
    options.env["TMPDIR"] = tmp();
    options.env["FAKE_TOOL_ATFILE"] = tree.root() + "/atfile.rec";
    options.cwd = work();
  }
  std::string tmp() const { return tree.root() + "/tmp"; }
  std::string work() const { return tree.root() + "/work"; }
  std::string atfile() const { return read_file(tree.root() + "/atfile.rec"); }
};

// The tool got exactly two arguments: its path and "@" + a fresh file in our TMPDIR.
void expect_pass_through(const response_tree& t, const std::string& tool) {
  strings got = t.received();
  ASSERT_EQ(got.size(), 2u) << testing::PrintToString(got);
  EXPECT_EQ(got[0], t.tool(tool));
  std::string prefix = "@" + t.tmp() + "/cc";
  EXPECT_EQ(got[1].substr(0, prefix.size()), prefix);
  EXPECT_EQ(got[1].size(), prefix.size() + 6);
}

TEST(response_file, tool_receives_quoted_arguments_through_one_file) {
  response_tree t;
  write_file(t.work() + "/args", "rcs 'lib x.a'\n\"a\\\"b.o\" c\\ d.o\n");
  child_result r = t.run("ar", {"@args", "tail.o"});
  ASSERT_EQ(r.exit_code(), 0) << r.err;
  expect_pass_through(t, "ar");
  EXPECT_EQ(t.atfile(), "--plugin\n" + t.plugin + "\n-rcs\nlib\\ x.a\na\\\"b.o\nc\\ d.o\ntail.o\n");
  EXPECT_EQ(testutil::list_dir(t.tmp()), strings{}) << "removed after the run";
}

TEST(response_file, none_is_made_without_an_expanded_at_file) {
  response_tree t;
  for (const strings& args : {strings{"rcs", "x.a"}, strings{"t", "@missing", "@"}}) {
    child_result r = t.run("ar", args);
    ASSERT_EQ(r.exit_code(), 0) << r.err;
    strings expected = {t.tool("ar"), "--plugin", t.plugin, "-" + args[0]};
    expected.insert(expected.end(), args.begin() + 1, args.end());
    EXPECT_EQ(t.received(), expected);
    EXPECT_EQ(testutil::list_dir(t.tmp()), strings{});
  }
}

TEST(response_file, expanded_arguments_meet_the_rules_of_the_command_line) {
  response_tree t;
  // The first argument comes from the file and still gets its dash; a -B in a file is the tool's.
  write_file(t.work() + "/first", "t\n");
  write_file(t.work() + "/opts", "-B /elsewhere\n");
  write_file(t.work() + "/empty", " \n\t");
  child_result r = t.run("ar", {"@first", "@opts", "@empty", "x.a"});
  ASSERT_EQ(r.exit_code(), 0) << r.err;
  expect_pass_through(t, "ar");
  EXPECT_EQ(t.atfile(), "--plugin\n" + t.plugin + "\n-t\n-B\n/elsewhere\nx.a\n");

  // An empty file alone still makes the wrapper use a response file.
  r = t.run("nm", {"@empty"});
  ASSERT_EQ(r.exit_code(), 0) << r.err;
  expect_pass_through(t, "nm");
  EXPECT_EQ(t.atfile(), "--plugin\n" + t.plugin + "\n");
}

TEST(response_file, is_removed_whatever_the_tool_does) {
  response_tree t;
  write_file(t.work() + "/args", "x.a\n");
  const struct {
    const char* name;
    const char* value;
    int status;
  } fates[] = {{"FAKE_TOOL_EXIT", "0", 0}, {"FAKE_TOOL_EXIT", "3", 3}, {"FAKE_TOOL_SIGNAL", "9", 1}};
  for (const auto& fate : fates) {
    run_options options = t.options;
    options.env[fate.name] = fate.value;
    child_result r = run_program(built_wrapper("ranlib"), {"quarn-ranlib", "-B", t.tree.target_bin(), "@args"}, options);
    EXPECT_EQ(r.exit_code(), fate.status) << fate.name << "=" << fate.value;
    EXPECT_EQ(testutil::list_dir(t.tmp()), strings{}) << fate.name << "=" << fate.value;
  }
  write_file(t.tool("ranlib"), "#!/nonexistent/interpreter\n", 0755);
  child_result r = t.run("ranlib", {"@args"});
  EXPECT_EQ(r.exit_code(), 1);
  EXPECT_EQ(r.err, "Error running " + t.tool("ranlib") + ": posix_spawnp\n");
  EXPECT_EQ(testutil::list_dir(t.tmp()), strings{});
}

// A write that the file size limit refuses: with more than a buffer's worth the
// writing fails, with less only the final flush in fclose does. Stdio buffers are as
// long as the file system's block (128 KiB on ZFS), or BUFSIZ.
TEST(response_file, write_and_close_failures_remove_the_file) {
  const struct {
    bool beyond_buffer;
    const char* message;
  } cases[] = {{true, "Cannot write to temporary file "}, {false, "Cannot close temporary file "}};
  for (const auto& c : cases) {
    response_tree t;
    struct stat dir;
    ASSERT_EQ(stat(t.tmp().c_str(), &dir), 0);
    // Each argument takes at least 10 bytes: twice the longest buffer is sure to be written.
    size_t arguments = c.beyond_buffer ? 2 * std::max<size_t>(dir.st_blksize, BUFSIZ) / 10 : 3;
    std::string args;
    for (size_t i = 0; i < arguments; ++i) args += "object" + std::to_string(i) + ".o\n";
    write_file(t.work() + "/args", args);
    t.options.fsize_limit = 8;
    child_result r = t.run("ar", {"rcs", "x.a", "@args"});
    EXPECT_EQ(r.exit_code(), 1);
    EXPECT_EQ(testutil::list_dir(t.tmp()), strings{}) << r.err;
    const std::string named = c.message + t.tmp() + "/cc";
    EXPECT_EQ(r.err.substr(0, named.size()), named);
    EXPECT_EQ(r.err.size(), named.size() + 7) << r.err;
    EXPECT_FALSE(testutil::file_exists(t.tree.root() + "/argv.rec")) << "the tool never ran";
  }
}

// Out of memory once the file exists: the allocators' exit removes it.
TEST(response_file, is_removed_when_memory_runs_out) {
  response_tree t;
  child_result r = testutil::run_in_child([&] {
    setenv("TMPDIR", t.tmp().c_str(), 1);
    response_file file = {nullptr, -1};
    response_file_create(&file);
    checked_alloc(SIZE_MAX - 4096);
  });
  EXPECT_EQ(r.exit_code(), 1) << r.err;
  EXPECT_NE(r.err.find("out of memory allocating"), std::string::npos) << r.err;
  EXPECT_EQ(testutil::list_dir(t.tmp()), strings{});
}

// Another user of the directory replaces the fresh name by a link to a file of ours
// before anything is written: what we write must not reach that file.
TEST(response_file, is_written_through_its_descriptor_not_its_name) {
  response_tree t;
  const std::string victim = t.tree.root() + "/victim";
  write_file(victim, "precious\n");
  child_result r = testutil::run_in_child([&] {
    setenv("TMPDIR", t.tmp().c_str(), 1);
    response_file file = {nullptr, -1};
    response_file_create(&file);
    if (unlink(file.name) != 0 || symlink(victim.c_str(), file.name) != 0) _exit(2);
    char* tool_argv[] = {const_cast<char*>("ar"), const_cast<char*>("--plugin"), const_cast<char*>("p"), nullptr};
    char* pass_through[3];
    response_file_write(&file, tool_argv, pass_through);
  });
  EXPECT_EQ(r.exit_code(), 0) << r.err;
  EXPECT_EQ(read_file(victim), "precious\n");
}

// The plugin arguments and the tool's longer path push the longest command line that
// the wrapper can be started with past the system's limit for the tool.
TEST(response_file, carries_a_command_line_too_long_for_the_tool) {
  response_tree t;
  auto command = [&](size_t size) {
    strings argv = {"quarn-nm", "-B", t.tree.target_bin()};
    // Pieces of at most 100000 bytes: Linux also limits each single argument.
    for (char fill = 'a'; size > 0; fill = fill == 'z' ? 'a' : fill + 1) {
      size_t piece = size < 100000 ? size : 100000;
      argv.push_back(std::string(piece, fill));
      size -= piece;
    }
    return argv;
  };
  // run_program's child exits with 127 when the system refuses to start the wrapper.
  auto starts = [&](size_t size) { return run_program(built_wrapper("nm"), command(size), t.options).exit_code() != 127; };
  size_t fits = 0, too_long = size_t{16} << 20;
  if (starts(too_long)) GTEST_SKIP() << "no limit on the command line below 16 MiB";
  while (too_long - fits > 1) {
    size_t mid = fits + (too_long - fits) / 2;
    (starts(mid) ? fits : too_long) = mid;
  }
  strings argv = command(fits);
  child_result r = run_program(built_wrapper("nm"), argv, t.options);
  ASSERT_EQ(r.exit_code(), 0) << r.err;
  expect_pass_through(t, "nm");
  std::string expected = "--plugin\n";
  for (size_t i = 2; i < argv.size(); ++i) expected.append(i == 2 ? t.plugin : argv[i]).append("\n");
  EXPECT_TRUE(t.atfile() == expected) << "the response file holds every argument";
  EXPECT_EQ(testutil::list_dir(t.tmp()), strings{});
}

// The programs' own text for ENAMETOOLONG. Programs built by another build may use
// another C library, whose texts differ ("Filename too long" in musl): they tell theirs
// when the trace passes over a plugin path longer than PATH_MAX.
std::string programs_name_too_long_text(const response_tree& t) {
#if defined(QUARN_OTHER_PROGRAMS)
  std::string dir = t.tree.root() + "/" + std::string(PATH_MAX, 'n');
  run_options options = t.options;
  options.env["QUARN_TRACE"] = "1";
  child_result r = run_program(built_wrapper("ar"), {"quarn-ar", "-B", dir, "t"}, options);
  std::string head = "  - passed over " + dir + "/" + PLUGIN_NAME + ": ";
  size_t at = r.err.find(head);
  EXPECT_NE(at, std::string::npos) << r.err;
  if (at == std::string::npos) return "";
  at += head.size();
  return r.err.substr(at, r.err.find('\n', at) - at);
#else
  (void)t;
  return strerror(ENAMETOOLONG);
#endif
}

// A temporary directory that passes every check but in which no file can be made: its
// path is so long that a name inside it exceeds the system's limit.
TEST(response_file, unusable_temporary_directory_fails_with_status_1) {
  response_tree t;
  // The directory's own name stays below PATH_MAX; with "/ccXXXXXX" behind it, it does not.
  const size_t length = PATH_MAX - 5;
  std::string dir = t.tmp();
  while (dir.size() < length) {
    size_t room = length - dir.size() - 1;
    dir.append("/").append(room > 200 ? 200 : room, 'd');
    ASSERT_EQ(mkdir(dir.c_str(), 0755), 0) << strerror(errno);
  }
  write_file(t.work() + "/args", "x.a\n");
  t.options.env["TMPDIR"] = dir;
  child_result r = t.run("ar", {"t", "@args"});
  EXPECT_EQ(r.exit_code(), 1) << r.status << r.err;
  EXPECT_EQ(r.err, "Cannot create temporary file in " + dir + "/: " + programs_name_too_long_text(t) + "\n");
}

class real_ar : public testing::Test {
 protected:
  void SetUp() override {
    std::string missing = testutil::missing_host_binutils({"ar"});
    plugin = tree.target_bin() + "/" + PLUGIN_NAME;
    if (missing.empty()) missing = testutil::place_host_plugin(plugin);
    if (!missing.empty()) GTEST_SKIP() << missing;
    tree.install_host_tool("ar", "ar");
    testutil::make_dirs(work());
    testutil::make_dirs(tmp());
    write_file(work() + "/obj.c", "int value(void) { return 7; }\n");
    child_result r = run_program(testutil::find_on_path("cc"), {"cc", "-c", "-o", work() + "/obj.o", work() + "/obj.c"});
    ASSERT_EQ(r.exit_code(), 0) << r.err;
  }
  std::string work() const { return tree.root() + "/work"; }
  std::string tmp() const { return tree.root() + "/tmp"; }
  // Quotes a name so that the response-file reader gives it back unchanged.
  static std::string quoted(const std::string& name) {
    std::string out = "'";
    for (char c : name) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
  }
  staged_tree tree;
  std::string plugin;
};

TEST_F(real_ar, members_with_awkward_names_arrive_exactly) {
  const strings names = {"sp ace.o", "single'quote.o", "double\"quote.o", "back\\slash.o", "dol$lar.o",
                         "ta\tb.o", "new\nline.o", "caf\xc3\xa9-\xff.o", "@at.o"};
  std::string list;
  for (const std::string& name : names) {
    testutil::copy_file(work() + "/obj.o", work() + "/" + name);
    list += quoted(name) + "\n";
  }
  write_file(work() + "/members", list);
  run_options options;
  options.cwd = work();
  options.env["TMPDIR"] = tmp();
  child_result r = run_program(built_wrapper("ar"), {"quarn-ar", "-B", tree.target_bin(), "rc", "lib.a", "@members"}, options);
  ASSERT_EQ(r.exit_code(), 0) << r.err;
  r = run_program(testutil::find_on_path("ar"), {"ar", "t", "lib.a"}, options);
  std::string expected;
  for (const std::string& name : names) expected += name + "\n";
  EXPECT_EQ(r.out, expected);
  EXPECT_EQ(testutil::list_dir(tmp()), strings{});
}

// Many wrappers at once in one temporary directory: each gets a response file of its own.
TEST_F(real_ar, concurrent_runs_keep_to_their_own_files) {
  constexpr int kRuns = 200;
  for (int round = 0; round < 3; ++round) {
    std::vector<pid_t> pids;
    testutil::scoped_cwd in_work(work());  // the wrappers' working directory
    run_options options;
    options.clear_env = true;
    options.env["TMPDIR"] = tmp();
    options.env["PATH"] = "/usr/bin:/bin";
    std::vector<std::string> env_strings = testutil::child_environment(options);
    std::vector<char*> envp;
    for (auto& e : env_strings) envp.push_back(e.data());
    envp.push_back(nullptr);
    for (int i = 0; i < kRuns; ++i) {
      std::string member = "m" + std::to_string(i) + ".o";
      testutil::copy_file(work() + "/obj.o", work() + "/" + member);
      write_file(work() + "/list" + std::to_string(i), member + " obj.o\n");
      strings args = {"quarn-ar", "-B", tree.target_bin(), "rc", "lib" + std::to_string(i) + ".a",
                      "@list" + std::to_string(i)};
      std::vector<char*> argp;
      for (auto& a : args) argp.push_back(a.data());
      argp.push_back(nullptr);
      pid_t pid;
      std::string program = built_wrapper("ar");
      ASSERT_EQ(posix_spawn(&pid, program.c_str(), nullptr, nullptr, argp.data(), envp.data()), 0);
      pids.push_back(pid);
    }
    for (pid_t pid : pids) {
      int status = -1;
      ASSERT_EQ(waitpid(pid, &status, 0), pid);
      EXPECT_EQ(status, 0);
    }
    for (int i = 0; i < kRuns; ++i) {
      child_result r = run_program(testutil::find_on_path("ar"), {"ar", "t", "lib" + std::to_string(i) + ".a"},
                                   testutil::in_dir(work()));
      EXPECT_EQ(r.out, "m" + std::to_string(i) + ".o\nobj.o\n");
      unlink((work() + "/lib" + std::to_string(i) + ".a").c_str());
    }
    EXPECT_EQ(testutil::list_dir(tmp()), strings{}) << "round " << round;
  }
}

}  // namespace
