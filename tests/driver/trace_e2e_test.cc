// QUARN_TRACE: the account a wrapper gives of where it looked and what it started.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "quarn_config.h"
#include "common/staged_tree.h"
#include "common/test_util.h"

namespace {

using testutil::child_result;
using testutil::run_options;
using testutil::run_program;
using testutil::staged_tree;
using strings = std::vector<std::string>;

bool ends_with(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// An installed tree; PATH holds one empty directory, so nothing of the host is found.
struct traced_tree {
  explicit traced_tree(const std::string& sub = "") : tree(sub) {
    tree.install_wrappers();
    testutil::make_dirs(tree.root() + "/empty");
    options.env["PATH"] = tree.root() + "/empty";
    options.env["QUARN_EXEC_PREFIX"] = std::nullopt;
    options.env["QUARN_TRACE"] = std::string("1");
  }
  // The seeded directories as the wrapper in <root>/bin relocates them.
  std::string target_bin() const {
    return tree.root() + "/bin/../lib/quarn/" + CONFIG_TARGET + "/" + CONFIG_VERSION + "/../../../../" +
           CONFIG_TARGET + "/bin";
  }
  std::string libexec() const {
    return tree.root() + "/bin/../libexec/quarn/" + CONFIG_TARGET + "/" + CONFIG_VERSION;
  }
  staged_tree tree;
  run_options options;
};

TEST(trace, missing_plugin_names_every_candidate_and_why) {
  traced_tree t;
  std::string root = t.tree.root();
  // Root reads every file: the unreadable plugin is only unreadable to someone else.
  ASSERT_EQ(chmod(root.c_str(), 0755), 0);
  child_result probe = testutil::run_in_child(
      [&] { _exit(testutil::become_unprivileged() && access(root.c_str(), X_OK) == 0 ? 0 : 1); });
  if (probe.exit_code() != 0) GTEST_SKIP() << "cannot run as an unprivileged user who reaches " << root;

  std::string locked = root + "/locked";
  testutil::make_dirs(locked);
  testutil::write_file(locked + "/" + PLUGIN_NAME, "", 0);
  testutil::make_dirs(t.libexec() + "/" + PLUGIN_NAME);
  std::string wrapper = t.tree.wrapper("ar");
  std::string message = wrapper + ": Cannot find plugin '" + PLUGIN_NAME + "'\n";
  t.options.unprivileged = true;
  child_result r = run_program(wrapper, {wrapper, "-B", locked, "t", "x.a"}, t.options);
  EXPECT_EQ(r.exit_code(), 1);
  std::string plugin = std::string("/") + PLUGIN_NAME;
  EXPECT_TRUE(ends_with(r.err, std::string("Looking for '") + PLUGIN_NAME + "'\n" +
                                   "  - passed over " + locked + plugin + ": no read access\n" +
                                   "  - passed over " + t.target_bin() + plugin + ": does not exist\n" +
                                   "  - passed over " + t.libexec() + plugin + ": is a directory\n" + message))
      << r.err;

  // Set but empty is off.
  t.options.env["QUARN_TRACE"] = "";
  r = run_program(wrapper, {wrapper, "-B", locked, "t", "x.a"}, t.options);
  EXPECT_EQ(r.exit_code(), 1);
  EXPECT_EQ(r.err, message);
}

TEST(trace, relocated_run_names_its_program_file_and_the_command_started) {
  traced_tree t;
  std::string root = t.tree.root();
  std::string plugin = t.tree.install_plugin();
  std::string tool = t.tree.install_fake_tool("nm");
  // Started through a link from elsewhere: the tree is where the link leads.
  std::string link = root + "/elsewhere/quarn-nm";
  testutil::make_dirs(root + "/elsewhere");
  ASSERT_EQ(symlink(t.tree.wrapper("nm").c_str(), link.c_str()), 0);
  testutil::make_dirs(root + "/tmp");
  const std::string hostile = "\x1b\x9b\xc2\x9b\xff\xc3\xa9.o";
  testutil::write_file(root + "/list", "'a b.o' " + hostile + "\n");
  t.options.cwd = root;
  t.options.env["TMPDIR"] = root + "/tmp";
  t.options.env["FAKE_TOOL_ARGV"] = root + "/argv.rec";
  std::string installation = "Finding the installation from '" + link + "'\n" +
                             "  - program file, links resolved: " + t.tree.wrapper("nm") + "\n" +
                             "  - library directory: " + root + "/bin/../lib/quarn/ (relocated)\n" +
                             "  - libexec directory: " + root + "/bin/../libexec/quarn/ (relocated)\n";
  std::string command = "Starting '" + t.target_bin() + "/nm'\n  - command line: " + t.target_bin() +
                        "/nm --plugin " + t.libexec() + "/" + PLUGIN_NAME + " \"a b.o\" \"\\033\\233\\302\\233\\377\xc3\xa9.o\"\n";

  for (bool through_file : {false, true}) {
    SCOPED_TRACE(through_file ? "through a response file" : "directly");
    strings args = through_file ? strings{link, "@list"} : strings{link, "a b.o", hostile};
    child_result r = run_program(link, args, t.options);
    ASSERT_EQ(r.exit_code(), 0) << r.err;
    strings received = testutil::read_recorded_argv(root + "/argv.rec");
    ASSERT_FALSE(received.empty());
    std::string carried = through_file ? "  - carried by the response file " + received[1].substr(1) +
                                             ", started as: " + received[0] + " " + received[1] + "\n"
                                       : "  - no response file: the arguments are passed as they are\n";
    EXPECT_EQ(r.err.substr(0, installation.size()), installation);
    EXPECT_TRUE(ends_with(r.err, command + carried)) << r.err;
  }
}

// The untraced messages carry no reason; the trace does.
TEST(trace, says_why_a_temporary_directory_or_a_start_failed) {
  traced_tree t;
  std::string root = t.tree.root();
  t.tree.install_plugin();
  // Executable, but what should run it is not there.
  testutil::write_file(t.tree.target_bin() + "/nm", "#!/nonexistent/interpreter\n", 0755);
  testutil::make_dirs(root + "/open");
  ASSERT_EQ(chmod((root + "/open").c_str(), 0777), 0);
  testutil::write_file(root + "/list", "x.o\n");
  t.options.cwd = root;
  t.options.env["TMPDIR"] = root + "/open";
  child_result r = run_program(t.tree.wrapper("nm"), {t.tree.wrapper("nm"), "@list"}, t.options);
  EXPECT_EQ(r.exit_code(), 1);
  for (const std::string& line :
       {"  - passed over " + root + "/open: " + root + "/open: writable by others and not sticky\n",
        "  - failed to start: posix_spawnp: " + std::string(strerror(ENOENT)) + "\n"})
    EXPECT_NE(r.err.find(line), std::string::npos) << line << r.err;
}

TEST(trace, hostile_names_show_as_escapes_one_line_each) {
  // Controls of every kind, no UTF-8, a newline: in install path, PATH, -B, TMPDIR, arguments.
  const std::string hostile = "\x1b]0;\a\x1b[2J\r\x7f\x9b\xc2\x9b\xff\nStarting 'forged'";
  std::string traces[2];
  for (const std::string& name : {std::string("plain"), hostile}) {
    traced_tree t(name);
    std::string root = t.tree.root(), wrapper = t.tree.wrapper("ar");
    t.tree.install_plugin();
    t.tree.install_fake_tool("ar");
    t.options.cwd = root;
    for (const char* dir : {"/B", "/tmp", "/path"}) testutil::make_dirs(root + dir + name);
    testutil::write_file(root + "/list", "\"" + name + "\" x.o\n");
    t.options.env["TMPDIR"] = root + "/tmp" + name;
    t.options.env["PATH"] = root + "/path" + name + ":" + root + "/empty";
    child_result r = run_program(wrapper, {wrapper, "-B", root + "/B" + name, "rc", name + ".a", "@list"}, t.options);
    ASSERT_EQ(r.exit_code(), 0) << r.err;
    traces[name == hostile] = r.err;
  }
  auto unsafe = [](char c) { return c != '\n' && (c < ' ' || c >= 0x7f); };  // all but ASCII text
  EXPECT_EQ(std::count_if(traces[1].begin(), traces[1].end(), unsafe), 0) << traces[1];
  EXPECT_EQ(std::count(traces[1].begin(), traces[1].end(), '\n'), std::count(traces[0].begin(), traces[0].end(), '\n'));
}

TEST(trace, needs_no_more_memory_than_the_run) {
  testutil::fake_tool_tree t;
  // One argument of 20 MiB (only an @-file lets that through) that the trace shows 4 times as long.
  testutil::write_file(t.tree.root() + "/list", std::string(20 << 20, '\x01'));
  strings args = {"t", "@" + t.tree.root() + "/list"};
  // The least address space, in steps of 16 MiB, that the untraced run needs.
  t.options.env["QUARN_TRACE"] = "";
  for (long mib = 16; mib <= 512 && t.options.as_limit < 0; mib += 16) {
    t.options.as_limit = mib << 20;
    if (t.run("ar", args).exit_code() != 0) t.options.as_limit = -1;
  }
  if (t.options.as_limit < 0) GTEST_SKIP() << "no run under an address-space limit (sanitizers reserve more)";
  t.options.env["QUARN_TRACE"] = "1";
  child_result r = t.run("ar", args);
  EXPECT_EQ(r.exit_code(), 0);
  EXPECT_GT(r.err.size(), size_t{4} * (20 << 20));
}

}  // namespace
