#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "driver/install_dirs.h"
#include "quarn_config.h"
#include "common/test_util.h"

namespace {

using testutil::scoped_temp_dir;

struct dirs_case {
  const char* argv0;          // "<t>" stands for the tree
  const char* exec_prefix;    // null: unset
  const char* path;           // PATH of the run
  const char* lib;            // expected; null: the configured directory
  const char* libexec;
};

std::string expand(const char* text, const std::string& tree) {
  std::string s = text;
  for (size_t at; (at = s.find("<t>")) != std::string::npos;) s.replace(at, 3, tree);
  return s;
}

// Every case runs in a child: the environment differs per case, and the relocated
// strings are kept for the life of the process.
TEST(find_install_dirs, relocates_from_the_wrapper_or_quarn_exec_prefix) {
  scoped_temp_dir tree;
  testutil::make_dirs(tree / "bin");
  testutil::write_file(tree / "bin/quarn-ar", "", 0755);
  testutil::write_file(tree / "bin/quarn-nm", "", 0755);
  const dirs_case cases[] = {
      {"<t>/bin/quarn-ar", nullptr, "/nonexistent", "<t>/bin/../lib/quarn/", "<t>/bin/../libexec/quarn/"},
      {"quarn-ar", nullptr, "/nonexistent:<t>/bin", "<t>/bin/../lib/quarn/", "<t>/bin/../libexec/quarn/"},
      {"/elsewhere/quarn-ar", "<t>/bin/", "/nonexistent", "<t>/bin/../lib/quarn/", "<t>/bin/../libexec/quarn/"},
      {"/elsewhere/quarn-ar", "<t>/bin", "/nonexistent", "<t>/../lib/quarn/", "<t>/../libexec/quarn/"},
      {"/elsewhere/quarn-ar", "", "<t>/bin", "<t>/bin/../lib/quarn/", "<t>/bin/../libexec/quarn/"},
      {"/usr/local/bin/quarn-ar", nullptr, "/nonexistent", nullptr, nullptr},
      // Never directories relative to the working directory.
      {"quarn-ar", nullptr, "/nonexistent", nullptr, nullptr},
      {"nowhere/quarn-ar", nullptr, "/nonexistent", nullptr, nullptr},
  };
  for (const dirs_case& c : cases) {
    SCOPED_TRACE(std::string(c.argv0) + " prefix=" + (c.exec_prefix ? c.exec_prefix : "(unset)"));
    if (c.lib == nullptr && std::string(CONFIG_BIN_DIR) != "/usr/local/bin/") continue;
    testutil::child_result r = testutil::run_in_child([&] {
      setenv("PATH", expand(c.path, tree.path()).c_str(), 1);
      if (c.exec_prefix != nullptr) setenv("QUARN_EXEC_PREFIX", expand(c.exec_prefix, tree.path()).c_str(), 1);
      else unsetenv("QUARN_EXEC_PREFIX");
      install_dirs dirs = find_install_dirs(expand(c.argv0, tree.path()).c_str(), "quarn-ar");
      printf("%s\n%s\n", dirs.lib, dirs.libexec);
    });
    std::string lib = c.lib ? expand(c.lib, tree.path()) : CONFIG_LIB_DIR;
    std::string libexec = c.libexec ? expand(c.libexec, tree.path()) : CONFIG_LIBEXEC_DIR;
    EXPECT_EQ(r.out, lib + "\n" + libexec + "\n");
    EXPECT_EQ(r.exit_code(), 0);
  }
}

}  // namespace
