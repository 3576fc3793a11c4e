// Helpers shared by the tests: temporary directories, files, and real children.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testutil {

/// A fresh directory under $TMPDIR (or /tmp) removed with everything in it at scope end.
class scoped_temp_dir {
 public:
  scoped_temp_dir();
  ~scoped_temp_dir();
  scoped_temp_dir(const scoped_temp_dir&) = delete;
  scoped_temp_dir& operator=(const scoped_temp_dir&) = delete;
  const std::string& path() const { return path_; }
  /// path() + "/" + name.
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

/// Sets (or, with nullopt, unsets) an environment variable until scope end.
class scoped_env {
 public:
  scoped_env(const char* name, const std::optional<std::string>& value);
  ~scoped_env();
  scoped_env(const scoped_env&) = delete;
  scoped_env& operator=(const scoped_env&) = delete;

 private:
  const char* name_;
  std::optional<std::string> saved_;
};

/// Changes the working directory until scope end.
class scoped_cwd {
 public:
  explicit scoped_cwd(const std::string& dir);
  ~scoped_cwd();
  scoped_cwd(const scoped_cwd&) = delete;
  scoped_cwd& operator=(const scoped_cwd&) = delete;

 private:
  std::string saved_;
};

/// Writes content to path (creating or truncating it) with the given mode.
void write_file(const std::string& path, const std::string& content, int mode = 0644);
/// Returns the file's bytes; fails the test when it cannot be read.
std::string read_file(const std::string& path);
bool file_exists(const std::string& path);
/// Creates a directory and its parents.
void make_dirs(const std::string& path);
/// Removes a file tree, ignoring what is not there.
void remove_tree(const std::string& path);
/// Names in a directory, sorted, without "." and "..".
std::vector<std::string> list_dir(const std::string& path);

/// What a finished child left behind.
struct child_result {
  int status = -1;       // raw wait status
  std::string out;       // everything it wrote to standard output
  std::string err;       // everything it wrote to standard error
  bool exited() const;
  int exit_code() const;  // -1 unless exited()
  bool signaled() const;
  int signal() const;    // 0 unless signaled()
};

/// Runs fn in a forked child whose standard output and error are captured; the child
/// exits with 0 when fn returns. Use it for code that exits or aborts.
child_result run_in_child(const std::function<void()>& fn);

/// Options of run_program.
struct run_options {
  std::optional<std::string> cwd;                      // working directory of the child
  std::map<std::string, std::optional<std::string>> env;  // set (value) or unset (nullopt) over ours
  bool clear_env = false;                              // start from an empty environment
  std::string input;                                   // bytes fed to standard input
  bool empty_argv = false;                             // start with no argv[0] at all
  long fsize_limit = -1;                               // RLIMIT_FSIZE in bytes, as `ulimit -f` sets it
  long as_limit = -1;                                  // RLIMIT_AS in bytes
  bool sigchld_ignored = false;                        // start with SIGCHLD ignored
  bool unprivileged = false;                           // become_unprivileged first (exit 126 if not)
};

/// In a child about to test permissions: when running as root, which passes every
/// read/write/search check, switches to the unprivileged uid and gid 65534.
/// Returns false when that is impossible (the caller then skips).
bool become_unprivileged();

/// The environment a child of run_program gets: ours (unless cleared) with the options'
/// changes, as "NAME=value" strings.
std::vector<std::string> child_environment(const run_options& options);

/// Options with only the working directory set.
run_options in_dir(const std::string& cwd);

/// Starts program (a path) with argv (entry 0 included) and waits for it.
child_result run_program(const std::string& program, const std::vector<std::string>& argv,
                         const run_options& options = {});

/// Directory holding the built quarn-ar, quarn-nm and quarn-ranlib.
std::string programs_dir();
/// Directory holding the test helpers built by the project (fake tool, test plugin).
std::string helpers_dir();

}  // namespace testutil
