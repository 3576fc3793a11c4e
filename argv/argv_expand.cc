#include "argv/argv_expand.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "argv/argv_parse.h"
#include "argv/argv_vector.h"
#include "support/checked_alloc.h"

namespace {

// Bounds a file that names itself, directly or through others.
constexpr int kMaxAtFiles = 2000;

// Returns the arguments in the file, or null when it is to be left on the command line.
char** read_at_file(const char* name, const char* program) {
  struct stat st;
  if (stat(name, &st) != 0) return nullptr;
  if (S_ISDIR(st.st_mode)) exit_with_message("%s: error: @-file refers to a directory\n", program);
  // Opening a FIFO blocks until a writer appears, and one that has a writer cannot be
  // seeked; either way it would stay on the command line.
  if (S_ISFIFO(st.st_mode)) return nullptr;

  FILE* file = fopen(name, "r");
  if (file == nullptr) return nullptr;
  char** args = nullptr;
  long size = -1;
  if (fseek(file, 0, SEEK_END) == 0 && (size = ftell(file)) >= 0 && fseek(file, 0, SEEK_SET) == 0) {
    size_t wanted = static_cast<size_t>(size);
    char* text = static_cast<char*>(checked_alloc(wanted + 1));
    // Files that report more than they hold (sysfs, a file shrinking under us) give a
    // short read without an error; what came is the text.
    size_t got = fread(text, 1, wanted, file);
    if (got == wanted || ferror(file) == 0) {
      text[got] = '\0';
      args = argv_parse(text);
    }
    free(text);
  }
  fclose(file);
  return args;
}

// Replaces entry index of the owned vector by the inserted arguments; frees the
// inserted array but keeps its strings.
void splice(int* argc, char*** argv, int index, char** inserted) {
  int count = *argc;
  int n = argv_length(inserted);
  char** v = *argv;
  free(v[index]);
  v = static_cast<char**>(checked_realloc(v, (static_cast<size_t>(count) + n + 1) * sizeof(char*)));
  // Entries index + 1 .. count, the terminating null included.
  memmove(&v[index + n], &v[index + 1], static_cast<size_t>(count - index) * sizeof(char*));
  memcpy(&v[index], inserted, static_cast<size_t>(n) * sizeof(char*));
  free(inserted);
  *argv = v;
  *argc = count + n - 1;
}

}  // namespace

void argv_expand_at_files(int* argc, char*** argv) {
  char** const callers = *argv;
  int countdown = kMaxAtFiles;
  int index = 1;
  while (index < *argc) {
    const char* arg = (*argv)[index];
    if (arg[0] != '@') {
      ++index;
      continue;
    }
    if (--countdown == 0) exit_with_message("%s: error: too many @-files encountered\n", (*argv)[0]);
    char** inserted = read_at_file(arg + 1, (*argv)[0]);
    if (inserted == nullptr) {
      ++index;
      continue;
    }
    // The caller's vector may be the process's own argv: never write to it.
    if (*argv == callers) *argv = argv_copy(callers);
    splice(argc, argv, index, inserted);
  }
}
