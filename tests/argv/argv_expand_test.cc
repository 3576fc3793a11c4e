#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <string>

#include "argv/argv_expand.h"
#include "argv/argv_vector.h"
#include "common/test_util.h"
#include "common/arg_vector.h"

using owned_vector = testutil::arg_vector;
using testutil::strings;
using testutil::to_strings;
using testutil::scoped_temp_dir;
using testutil::write_file;

namespace {

// Runs the expansion on a vector the test owns, checks that vector is left exactly as
// it was, and returns the result; *changed tells whether the vector pointer moved.
strings expand(const strings& args, bool* changed = nullptr) {
  owned_vector original(args);
  int argc = original.size();
  char** argv = original.data();
  argv_expand_at_files(&argc, &argv);
  EXPECT_TRUE(original.intact(args));
  EXPECT_EQ(argc, argv_length(argv));
  strings result = to_strings(argv);
  if (changed != nullptr) *changed = argv != original.data();
  if (argv != original.data()) {
    argv_release(argv);
  } else {
    EXPECT_EQ(argc, original.size());
  }
  return result;
}

TEST(argv_expand_at_files, splices_file_arguments_in_place) {
  scoped_temp_dir dir;
  write_file(dir / "f", "a\nb");
  bool changed = false;
  EXPECT_EQ(expand({"prog", "x", "@" + (dir / "f"), "y"}, &changed), (strings{"prog", "x", "a", "b", "y"}));
  EXPECT_TRUE(changed);
  // A missing file before the real one stays, '@' and all, and causes no copy itself.
  EXPECT_EQ(expand({"prog", "@" + (dir / "none"), "@" + (dir / "f")}),
            (strings{"prog", "@" + (dir / "none"), "a", "b"}));
}

TEST(argv_expand_at_files, expands_nested_files_depth_first) {
  scoped_temp_dir dir;
  write_file(dir / "outer", "1 @" + (dir / "inner") + " 4 @" + (dir / "last"));
  write_file(dir / "inner", "2 '3 3'");
  write_file(dir / "last", "@" + (dir / "inner"));
  EXPECT_EQ(expand({"prog", "0", "@" + (dir / "outer"), "5"}),
            (strings{"prog", "0", "1", "2", "3 3", "4", "2", "3 3", "5"}));
  // Inserted at the very end, and still examined.
  EXPECT_EQ(expand({"prog", "@" + (dir / "last")}), (strings{"prog", "2", "3 3"}));
}

TEST(argv_expand_at_files, leaves_what_it_cannot_read) {
  scoped_temp_dir dir;
  write_file(dir / "f", "a");
  const strings cases[] = {
      {"prog"},
      {"prog", "x", "y"},
      {"prog", "@" + (dir / "missing")},
      {"prog", "@"},
      {"prog", "@" + (dir / "f") + "/"},
      // Index 0 is the program name and is never expanded.
      {"@" + (dir / "f"), "x"},
      {"@" + (dir / "f")},
  };
  for (const strings& args : cases) {
    bool changed = true;
    EXPECT_EQ(expand(args, &changed), args);
    EXPECT_FALSE(changed) << args.back();
  }
  if (geteuid() != 0) {
    write_file(dir / "secret", "a", 0);
    EXPECT_EQ(expand({"prog", "@" + (dir / "secret")}), (strings{"prog", "@" + (dir / "secret")}));
  }
}

TEST(argv_expand_at_files, empty_file_removes_its_argument_and_still_copies) {
  scoped_temp_dir dir;
  write_file(dir / "empty", "");
  write_file(dir / "blank", " \r\n\t\n");
  for (const char* name : {"empty", "blank"}) {
    bool changed = false;
    EXPECT_EQ(expand({"prog", "@" + (dir / name), "z"}, &changed), (strings{"prog", "z"}));
    EXPECT_TRUE(changed) << name;
  }
  EXPECT_EQ(expand({"prog", "@" + (dir / "empty"), "@" + (dir / "blank")}), strings{"prog"});
}

TEST(argv_expand_at_files, nul_byte_ends_the_file_text) {
  scoped_temp_dir dir;
  write_file(dir / "f", std::string("a b\0c d", 7));
  EXPECT_EQ(expand({"prog", "@" + (dir / "f")}), (strings{"prog", "a", "b"}));
}

TEST(argv_expand_at_files, short_read_uses_what_came) {
  // sysfs files claim a size of a page and hold a few bytes.
  const std::string name = "/sys/devices/system/cpu/online";
  struct stat st;
  if (stat(name.c_str(), &st) != 0 || st.st_size <= 64) GTEST_SKIP() << "no file that reads short here";
  std::string content = testutil::read_file(name);
  ASSERT_LT(content.size(), static_cast<size_t>(st.st_size));
  std::string first = content.substr(0, content.find_first_of(" \n"));
  strings result = expand({"prog", "@" + name});
  ASSERT_EQ(result.size(), 2u);
  EXPECT_EQ(result[1], first);
}

TEST(argv_expand_at_files, fifo_is_left_in_place) {
  scoped_temp_dir dir;
  const std::string fifo = dir / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const strings args = {"prog", "@" + fifo};

  // Without a writer an open would block for good; the alarm turns that into a failure.
  testutil::child_result alone = testutil::run_in_child([&] {
    alarm(10);
    owned_vector argv(args);
    int argc = argv.size();
    char** v = argv.data();
    argv_expand_at_files(&argc, &v);
    _exit(v == argv.data() && argc == 2 ? 0 : 3);
  });
  EXPECT_EQ(alone.exit_code(), 0) << "signal " << alone.signal();

  // With a writer attached and data waiting, it is still not read.
  int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  int writer = open(fifo.c_str(), O_WRONLY);
  ASSERT_GE(writer, 0);
  ASSERT_EQ(write(writer, "a b\n", 4), 4);
  bool changed = true;
  EXPECT_EQ(expand(args, &changed), args);
  EXPECT_FALSE(changed);
  char buf[8];
  EXPECT_EQ(read(reader, buf, sizeof buf), 4) << "the data stays for whoever reads the FIFO";
  close(writer);
  close(reader);
}

// Runs the expansion where it may end the process.
testutil::child_result expand_in_child(const strings& args) {
  return testutil::run_in_child([&] {
    owned_vector argv(args);
    int argc = argv.size();
    char** v = argv.data();
    argv_expand_at_files(&argc, &v);
  });
}

TEST(argv_expand_at_files, directory_ends_the_program) {
  scoped_temp_dir dir;
  write_file(dir / "f", "a b");
  testutil::child_result r = expand_in_child({"my-prog", "@" + (dir / "f"), "@" + (dir / "f"), "@" + dir.path()});
  EXPECT_EQ(r.exit_code(), 1);
  EXPECT_EQ(r.err, "my-prog: error: @-file refers to a directory\n");
}

TEST(argv_expand_at_files, stops_at_the_two_thousandth_at_argument) {
  scoped_temp_dir dir;
  const std::string self = dir / "self";
  write_file(self, "x @" + self);
  testutil::child_result r = expand_in_child({"my-prog", "@" + self});
  EXPECT_EQ(r.exit_code(), 1);
  EXPECT_EQ(r.err, "my-prog: error: too many @-files encountered\n");

  // Every @-argument counts, read or not: 1999 are handled, the 2000th is not.
  strings args = {"my-prog"};
  args.insert(args.end(), 1999, "@" + (dir / "missing"));
  r = expand_in_child(args);
  EXPECT_EQ(r.exit_code(), 0);
  EXPECT_EQ(r.err, "");
  args.push_back("@");
  r = expand_in_child(args);
  EXPECT_EQ(r.exit_code(), 1);
  EXPECT_EQ(r.err, "my-prog: error: too many @-files encountered\n");
}

}  // namespace
