#include "support/temp_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "support/checked_alloc.h"
#include "support/join_strings.h"

namespace {

const char* chosen_dir = nullptr;

bool usable_dir(const char* dir) {
  struct stat st;
  if (dir == nullptr || access(dir, R_OK | W_OK | X_OK) != 0 || stat(dir, &st) != 0 || !S_ISDIR(st.st_mode))
    return false;
  // Without the sticky bit, anyone may rename or replace our files in a directory that
  // anyone may write: a response file could be swapped before the tool reads it.
  return (st.st_mode & S_IWOTH) == 0 || (st.st_mode & S_ISVTX) != 0;
}

}  // namespace

const char* temp_dir(void) {
  if (chosen_dir != nullptr) return chosen_dir;
  const char* candidates[] = {getenv("TMPDIR"), getenv("TMP"), getenv("TEMP"), "/tmp/", "/var/tmp", "/tmp"};
  const char* dir = ".";
  for (const char* candidate : candidates) {
    if (usable_dir(candidate)) {
      dir = candidate;
      break;
    }
  }
  // The '/' is appended even when the name already ends in one ("/tmp/" gives
  // "/tmp//"): names are then always dir + file, and the doubled slash is harmless.
  chosen_dir = join_strings(dir, "/", nullptr);
  return chosen_dir;
}

char* temp_file_open(const char* prefix, const char* suffix, int* fd) {
  const char* dir = temp_dir();
  if (prefix == nullptr) prefix = "cc";
  if (suffix == nullptr) suffix = "";
  char* name = join_strings(dir, prefix, "XXXXXX", suffix, nullptr);
  *fd = mkstemps(name, static_cast<int>(strlen(suffix)));
  if (*fd == -1) {
    fprintf(stderr, "Cannot create temporary file in %s: %s\n", dir, strerror(errno));
    abort();
  }
  return name;
}

char* temp_file_create(const char* prefix, const char* suffix) {
  int fd;
  char* name = temp_file_open(prefix, suffix, &fd);
  if (close(fd) != 0) abort();
  return name;
}

char* temp_file_create_suffixed(const char* suffix) { return temp_file_create(nullptr, suffix); }
