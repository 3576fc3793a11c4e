// argv_expand_at_files over response files the fuzzer writes, checked against a
// straightforward model of the expansion.
//
// The input, split at NUL bytes, is: the command-line arguments (one per line), then
// the contents of the files a, b, c and d. They live in a scratch directory that is
// the current directory during each run. Every '/' is replaced by '_', so no name can
// leave that directory; the only directories a name can reach are "." and "..". Runs
// that would end the program (a directory, too many @-files) are recognised by the
// model and not handed to the expansion; should it exit anyway, the exit hook aborts.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "argv/argv_expand.h"
#include "argv/argv_parse.h"
#include "argv/argv_vector.h"
#include "common/arg_vector.h"
#include "support/checked_alloc.h"

using testutil::strings;

namespace {

const char* const file_names[] = {"a", "b", "c", "d"};
// A file that names itself runs to the 2000th @-argument, and one that keeps inserting
// grows the vector: past these bounds the model gives up and the input is skipped, so
// that the fuzzer spends its time on many small cases (the limit has its own test).
constexpr int max_model_reads = 100;
constexpr size_t max_model_args = 2000;

std::string scratch;
int home_fd = -1;

void unexpected_exit() {
  fprintf(stderr, "argv_expand_at_files ended the program on an input the model accepts\n");
  abort();
}

void remove_scratch() {
  for (const char* name : file_names) unlink((scratch + "/" + name).c_str());
  rmdir(scratch.c_str());
}

std::string read_whole(const char* name) {
  std::string text;
  int fd = open(name, O_RDONLY);
  if (fd < 0) abort();
  char buf[4096];
  ssize_t n;
  while ((n = read(fd, buf, sizeof buf)) > 0) text.append(buf, static_cast<size_t>(n));
  close(fd);
  return text;
}

enum class outcome { expanded, ends_program, too_big };

// The expansion, written for clarity: what the vector becomes, and whether any file
// was read.
outcome model(strings* v, bool* read_any) {
  int countdown = 2000;
  int reads = 0;
  size_t i = 1;
  while (i < v->size()) {
    const std::string& arg = (*v)[i];
    if (arg.empty() || arg[0] != '@') {
      ++i;
      continue;
    }
    if (--countdown == 0) return outcome::ends_program;
    std::string name = arg.substr(1);
    struct stat st;
    if (stat(name.c_str(), &st) != 0) {
      ++i;
      continue;
    }
    if (S_ISDIR(st.st_mode)) return outcome::ends_program;
    std::string text = read_whole(name.c_str());
    char** parsed = argv_parse(text.c_str());
    strings inserted = testutil::to_strings(parsed);
    argv_release(parsed);
    v->erase(v->begin() + static_cast<std::ptrdiff_t>(i));
    v->insert(v->begin() + static_cast<std::ptrdiff_t>(i), inserted.begin(), inserted.end());
    *read_any = true;
    if (++reads > max_model_reads || v->size() > max_model_args) return outcome::too_big;
  }
  return outcome::expanded;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  char cwd[4096];
  if (getcwd(cwd, sizeof cwd) == nullptr) abort();
  home_fd = open(".", O_RDONLY | O_DIRECTORY);
  const char* base = getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/argv-fuzz-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr || home_fd < 0) abort();
  scratch = pattern;
  atexit(remove_scratch);
  exit_cleanup_hook = unexpected_exit;

  // Crash reports go to the current directory unless told otherwise, and during a run
  // that is the scratch directory: pin them to where the fuzzer was started.
  for (int i = 1; i < *argc; ++i) {
    if (strncmp((*argv)[i], "-artifact_prefix=", 17) == 0) return 0;
  }
  static std::string prefix = std::string("-artifact_prefix=") + cwd + "/";
  static std::vector<char*> args(*argv, *argv + *argc);
  args.insert(args.begin() + 1, prefix.data());
  args.push_back(nullptr);
  *argv = args.data();
  *argc += 1;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  std::replace(input.begin(), input.end(), '/', '_');
  strings pieces;
  size_t start = 0;
  for (size_t nul; (nul = input.find('\0', start)) != std::string::npos; start = nul + 1) {
    pieces.push_back(input.substr(start, nul - start));
  }
  pieces.push_back(input.substr(start));

  strings args = {"prog"};
  for (size_t from = 0, line;; from = line + 1) {
    line = pieces[0].find('\n', from);
    args.push_back(pieces[0].substr(from, line == std::string::npos ? line : line - from));
    if (line == std::string::npos) break;
  }
  for (size_t f = 0; f < 4; ++f) {
    std::string path = scratch + "/" + file_names[f];
    if (f + 1 >= pieces.size()) {
      unlink(path.c_str());
      continue;
    }
    FILE* file = fopen(path.c_str(), "w");
    if (file == nullptr) abort();
    fwrite(pieces[f + 1].data(), 1, pieces[f + 1].size(), file);
    if (fclose(file) != 0) abort();
  }

  if (chdir(scratch.c_str()) != 0) abort();
  strings expected = args;
  bool read_any = false;
  if (model(&expected, &read_any) == outcome::expanded) {
    testutil::arg_vector original(args);
    int argc = original.size();
    char** argv = original.data();
    argv_expand_at_files(&argc, &argv);
    strings got = testutil::to_strings(argv);
    if (got != expected || argc != static_cast<int>(got.size()) || (argv != original.data()) != read_any ||
        !original.intact(args)) {
      fprintf(stderr, "expansion differs from the model\n");
      abort();
    }
    if (argv != original.data()) argv_release(argv);
  }
  if (fchdir(home_fd) != 0) abort();
  return 0;
}
