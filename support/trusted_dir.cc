#include "support/trusted_dir.h"

#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstring>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include "support/trace.h"

namespace {

// Links followed on the way to one candidate before it counts as a loop.
constexpr int kMaxLinks = 40;

// Whether st, an entry on the way to a candidate, leaves the candidate to us. Returns
// why not, or null.
const char* untrusted_because(const struct stat& st, uid_t me) {
  if (st.st_uid != 0 && st.st_uid != me) return "owned by another user";
  if (S_ISLNK(st.st_mode)) return nullptr;  // its target is judged in turn
  if (!S_ISDIR(st.st_mode)) return "not a directory";
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (st.st_mode & S_ISVTX) == 0)
    return "writable by others and not sticky";
  return nullptr;
}

// Stores head (head_len bytes), '/' and tail in out; false when that does not fit.
bool join_path(char (&out)[PATH_MAX], const char* head, size_t head_len, const char* tail, size_t tail_len) {
  if (head_len + 1 + tail_len >= sizeof out) return false;
  memmove(out, head, head_len);
  out[head_len] = '/';
  memmove(out + head_len + 1, tail, tail_len);
  out[head_len + 1 + tail_len] = '\0';
  return true;
}

// Null when dir is trusted, else why not, with the entry to blame in where (empty: dir
// itself).
const char* untrusted_dir(const char* dir, char (&where)[PATH_MAX]) {
  constexpr const char* kTooLong = "not a name this system can follow";
  // rest: what is still to walk; done: the physical path walked so far, "" for "/".
  char rest[PATH_MAX], done[PATH_MAX], cwd[PATH_MAX];
  done[0] = '\0';
  cwd[0] = '\0';
  where[0] = '\0';  // until the walk starts: dir itself is to blame
  // A relative name is walked from the working directory's physical path.
  if (dir[0] != '/' && getcwd(cwd, sizeof cwd) == nullptr) return "the working directory has no name";
  if (!join_path(rest, cwd, strlen(cwd), dir, strlen(dir))) return kTooLong;
  uid_t me = geteuid();
  struct stat st;
  join_path(where, "", 0, "", 0);
  if (lstat("/", &st) != 0) return strerror(errno);
  if (const char* why = untrusted_because(st, me)) return why;
  int links = 0;
  const char* next = rest;
  while (*next != '\0') {
    const char* name = next;
    size_t len = strcspn(name, "/");
    next = name + len + (name[len] == '/');
    if (len == 0 || (len == 1 && name[0] == '.')) continue;
    if (len == 2 && name[0] == '.' && name[1] == '.') {
      // done holds no links, so its parent is the physical one.
      char* slash = strrchr(done, '/');
      if (slash != nullptr) *slash = '\0';
      continue;
    }
    if (!join_path(where, done, strlen(done), name, len)) return kTooLong;
    if (lstat(where, &st) != 0) return strerror(errno);
    if (const char* why = untrusted_because(st, me)) return why;
    if (!S_ISLNK(st.st_mode)) {
      memcpy(done, where, strlen(where) + 1);
      continue;
    }
    if (++links > kMaxLinks) return strerror(ELOOP);
    // The target, then what followed the link, becomes the rest of the walk.
    char target[PATH_MAX];
    ssize_t target_len = readlink(where, target, sizeof target);
    if (target_len < 0) return strerror(errno);
    if (*next == '\0' && static_cast<size_t>(target_len) >= sizeof target) return kTooLong;
    if (*next == '\0') target[target_len] = '\0';
    else if (!join_path(target, target, static_cast<size_t>(target_len), next, strlen(next))) return kTooLong;
    memcpy(rest, target, strlen(target) + 1);
    next = rest;
    if (target[0] == '/') done[0] = '\0';
  }
  return nullptr;
}

}  // namespace

bool dir_is_trusted(const char* dir) {
  char where[PATH_MAX];
  const char* why = untrusted_dir(dir, where);
  if (why != nullptr) TRACE("  - passed over %s: %s: %s", dir, where[0] != '\0' ? where : dir, why);
  return why == nullptr;
}
