#include "support/temp_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "support/checked_alloc.h"
#include "support/join_strings.h"
#include "support/trace.h"
#include "support/trusted_dir.h"

namespace {

const char* chosen_dir = nullptr;

// A candidate we can use and nobody else controls.
bool usable_dir(const char* dir) {
  if (dir == nullptr) return false;
  struct stat st;
  if (access(dir, R_OK | W_OK | X_OK) != 0 || stat(dir, &st) != 0) {
    TRACE("  - passed over %s: %s", dir, strerror(errno));
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    TRACE("  - passed over %s: not a directory", dir);
    return false;
  }
  return dir_is_trusted(dir);
}

}  // namespace

const char* temp_dir(void) {
  if (chosen_dir != nullptr) return chosen_dir;
  const char* candidates[] = {getenv("TMPDIR"), getenv("TMP"), getenv("TEMP"), "/tmp/", "/var/tmp", "/tmp", "."};
  TRACE("Choosing the temporary directory");
  for (const char* candidate : candidates) {
    if (usable_dir(candidate)) {
      // The '/' is appended even when the name already ends in one ("/tmp/" gives
      // "/tmp//"): names are then always dir + file, and the doubled slash is harmless.
      chosen_dir = join_strings(candidate, "/", nullptr);
      return chosen_dir;
    }
  }
  exit_with_message("Cannot find a safe directory for temporary files\n");
}

char* temp_file_open(const char* prefix, const char* suffix, int* fd) {
  const char* dir = temp_dir();
  if (prefix == nullptr) prefix = "cc";
  if (suffix == nullptr) suffix = "";
  char* name = join_strings(dir, prefix, "XXXXXX", suffix, nullptr);
  *fd = mkstemps(name, static_cast<int>(strlen(suffix)));
  if (*fd == -1) exit_with_message("Cannot create temporary file in %s: %s\n", dir, strerror(errno));
  return name;
}

char* temp_file_create(const char* prefix, const char* suffix) {
  int fd;
  char* name = temp_file_open(prefix, suffix, &fd);
  if (close(fd) != 0) {
    const char* why = strerror(errno);
    unlink(name);
    exit_with_message("Cannot close temporary file %s: %s\n", name, why);
  }
  return name;
}

char* temp_file_create_suffixed(const char* suffix) { return temp_file_create(nullptr, suffix); }
