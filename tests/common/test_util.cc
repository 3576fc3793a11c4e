#include "common/test_util.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include <gtest/gtest.h>

extern char** environ;

namespace testutil {

namespace {
// A child that closes its input early must not kill the test process.
const bool sigpipe_ignored = (signal(SIGPIPE, SIG_IGN), true);
}  // namespace

scoped_temp_dir::scoped_temp_dir() {
  const char* base = getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/quarn-test-XXXXXX";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  if (mkdtemp(buf.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  // Resolved, so that paths compare equal to what realpath gives the code under test.
  char* real = realpath(buf.data(), nullptr);
  path_ = real != nullptr ? real : buf.data();
  free(real);
}

scoped_temp_dir::~scoped_temp_dir() { remove_tree(path_); }

scoped_env::scoped_env(const char* name, const std::optional<std::string>& value) : name_(name) {
  if (const char* old = getenv(name)) saved_ = old;
  if (value) setenv(name, value->c_str(), 1);
  else unsetenv(name);
}

scoped_env::~scoped_env() {
  if (saved_) setenv(name_, saved_->c_str(), 1);
  else unsetenv(name_);
}

scoped_cwd::scoped_cwd(const std::string& dir) {
  char* old = getcwd(nullptr, 0);
  saved_ = old != nullptr ? old : "/";
  free(old);
  if (chdir(dir.c_str()) != 0) ADD_FAILURE() << "chdir " << dir;
}

scoped_cwd::~scoped_cwd() {
  if (chdir(saved_.c_str()) != 0) ADD_FAILURE() << "chdir back to " << saved_;
}

void write_file(const std::string& path, const std::string& content, int mode) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, mode);
  ASSERT_GE(fd, 0) << path << ": " << strerror(errno);
  size_t done = 0;
  while (done < content.size()) {
    ssize_t n = write(fd, content.data() + done, content.size() - done);
    ASSERT_GT(n, 0) << path;
    done += static_cast<size_t>(n);
  }
  fchmod(fd, static_cast<mode_t>(mode));
  close(fd);
}

std::string read_file(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) {
    ADD_FAILURE() << "cannot read " << path << ": " << strerror(errno);
    return {};
  }
  std::string data;
  char buf[65536];
  ssize_t n;
  while ((n = read(fd, buf, sizeof buf)) > 0) data.append(buf, static_cast<size_t>(n));
  close(fd);
  return data;
}

bool file_exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

void make_dirs(const std::string& path) { std::filesystem::create_directories(path); }

void remove_tree(const std::string& path) {
  std::error_code ec;
  // Permissions that tests take away would stop the removal.
  for (auto it = std::filesystem::recursive_directory_iterator(
           path, std::filesystem::directory_options::skip_permission_denied, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory(ec) && !it->is_symlink(ec)) chmod(it->path().c_str(), 0700);
  }
  chmod(path.c_str(), 0700);
  std::filesystem::remove_all(path, ec);
}

std::vector<std::string> list_dir(const std::string& path) {
  std::vector<std::string> names;
  DIR* dir = opendir(path.c_str());
  if (dir == nullptr) return names;
  while (dirent* e = readdir(dir)) {
    if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

bool child_result::exited() const { return WIFEXITED(status); }
int child_result::exit_code() const { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }
bool child_result::signaled() const { return WIFSIGNALED(status); }
int child_result::signal() const { return WIFSIGNALED(status) ? WTERMSIG(status) : 0; }

namespace {

// Feeds input to fd_in (when >= 0) and drains the two output pipes until both close.
void pump(int fd_in, const std::string& input, int fd_out, int fd_err, child_result* result) {
  size_t written = 0;
  if (fd_in >= 0 && input.empty()) {
    close(fd_in);
    fd_in = -1;
  }
  std::string* sinks[] = {&result->out, &result->err};
  int fds[] = {fd_out, fd_err};
  while (fds[0] >= 0 || fds[1] >= 0 || fd_in >= 0) {
    pollfd p[3];
    int n = 0;
    for (int i = 0; i < 2; ++i) p[n++] = {fds[i], POLLIN, 0};
    p[n++] = {fd_in, POLLOUT, 0};
    if (poll(p, 3, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i] < 0 || p[i].revents == 0) continue;
      char buf[65536];
      ssize_t got = read(fds[i], buf, sizeof buf);
      if (got > 0) {
        sinks[i]->append(buf, static_cast<size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        close(fds[i]);
        fds[i] = -1;
      }
    }
    if (fd_in >= 0 && p[2].revents != 0) {
      ssize_t put = (p[2].revents & POLLOUT) ? write(fd_in, input.data() + written, input.size() - written) : -1;
      if (put > 0) written += static_cast<size_t>(put);
      if (put < 0 || written == input.size()) {
        close(fd_in);
        fd_in = -1;
      }
    }
  }
}

}  // namespace

child_result run_in_child(const std::function<void()>& fn) {
  int out[2], err[2];
  if (pipe(out) != 0 || pipe(err) != 0) throw std::runtime_error("pipe failed");
  fflush(nullptr);
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    dup2(out[1], 1);
    dup2(err[1], 2);
    close(out[0]), close(out[1]), close(err[0]), close(err[1]);
    fn();
    fflush(nullptr);
    _exit(0);
  }
  close(out[1]);
  close(err[1]);
  child_result result;
  pump(-1, "", out[0], err[0], &result);
  while (waitpid(pid, &result.status, 0) < 0 && errno == EINTR) {
  }
  return result;
}

bool become_unprivileged() {
  if (geteuid() != 0) return true;
  // Group first: once the uid is gone, the gid can no longer be changed.
  const gid_t groups[] = {65534};
  return setgroups(1, groups) == 0 && setgid(65534) == 0 && setuid(65534) == 0 && geteuid() == 65534;
}

run_options in_dir(const std::string& cwd) {
  run_options options;
  options.cwd = cwd;
  return options;
}

std::vector<std::string> child_environment(const run_options& options) {
  std::map<std::string, std::string> env;
  if (!options.clear_env) {
    for (char** e = environ; *e != nullptr; ++e) {
      const char* eq = strchr(*e, '=');
      if (eq != nullptr) env[std::string(*e, static_cast<size_t>(eq - *e))] = eq + 1;
    }
  }
#if defined(QUARN_SANITIZED)
  // The wrappers keep everything they allocate until they exit, by design.
  std::string& asan = env["ASAN_OPTIONS"];
  asan += asan.empty() ? "detect_leaks=0" : ":detect_leaks=0";
#endif
  for (const auto& [name, value] : options.env) {
    if (value) env[name] = *value;
    else env.erase(name);
  }
  std::vector<std::string> env_strings;
  for (const auto& [name, value] : env) env_strings.push_back(name + "=" + value);
  return env_strings;
}

child_result run_program(const std::string& program, const std::vector<std::string>& argv,
                         const run_options& options) {
  std::vector<std::string> env_strings = child_environment(options);
  std::vector<char*> envp;
  for (auto& s : env_strings) envp.push_back(s.data());
  envp.push_back(nullptr);
  std::vector<std::string> args = argv;
  std::vector<char*> argp;
  if (!options.empty_argv) {
    for (auto& s : args) argp.push_back(s.data());
  }
  argp.push_back(nullptr);

  int in[2], out[2], err[2];
  if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) throw std::runtime_error("pipe failed");
  for (int fd : {in[1], out[0], err[0]}) fcntl(fd, F_SETFD, FD_CLOEXEC);
  fflush(nullptr);
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    if (options.cwd && chdir(options.cwd->c_str()) != 0) _exit(126);
    if (options.unprivileged && !become_unprivileged()) _exit(126);
    signal(SIGPIPE, SIG_DFL);
    if (options.sigchld_ignored) signal(SIGCHLD, SIG_IGN);
    if (options.fsize_limit >= 0) {
      rlimit limit = {static_cast<rlim_t>(options.fsize_limit), static_cast<rlim_t>(options.fsize_limit)};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (options.as_limit >= 0) {
      rlimit limit = {static_cast<rlim_t>(options.as_limit), static_cast<rlim_t>(options.as_limit)};
      setrlimit(RLIMIT_AS, &limit);
    }
    execve(program.c_str(), argp.data(), envp.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  child_result result;
  pump(in[1], options.input, out[0], err[0], &result);
  while (waitpid(pid, &result.status, 0) < 0 && errno == EINTR) {
  }
  return result;
}

std::string programs_dir() { return QUARN_PROGRAMS_DIR; }
std::string helpers_dir() { return QUARN_HELPERS_DIR; }

}  // namespace testutil
