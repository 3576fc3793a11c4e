#include "search/relocate.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "search/path_parts.h"

namespace {

// Candidates up to this size live on the stack, so the usual short PATH costs no
// allocation; with the rest of the frame the buffer still fits one 4 KiB page, and the
// rare longer PATH goes to the heap instead of growing the frame.
constexpr size_t kStackCandidateMax = 4031;

// Only a regular file is a program: a directory or a device may well pass access(X_OK).
// stat follows links, so a link to an executable file counts as that file.
bool is_program_file(const char* path) {
  struct stat st;
  return access(path, X_OK) == 0 && stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

// Tries each ':'-separated directory of path_value in order, with "." for an empty one,
// and leaves the first accepted candidate in buffer. The buffer must hold
// max(strlen(path_value) + 1, 2) + name_len + 1 bytes.
bool search_path(const char* path_value, const char* name, size_t name_len, char* buffer) {
  const char* start = path_value;
  for (;;) {
    const char* end = start;
    while (*end != '\0' && *end != ':') ++end;
    size_t len = static_cast<size_t>(end - start);
    char* p = buffer;
    if (len == 0) {
      *p++ = '.';
      *p++ = '/';
    } else {
      memcpy(p, start, len);
      p += len;
      if (start[len - 1] != '/') *p++ = '/';
    }
    memcpy(p, name, name_len + 1);
    if (is_program_file(buffer)) return true;
    if (*end == '\0') return false;
    start = end + 1;
  }
}

// Path entries, as split_path makes them, walked in place: an entry runs through the
// whole run of '/' that follows it. Comparing and copying entries where they lie saves
// the wrappers a dozen allocations on every start.
const char* entry_end(const char* p) {
  while (*p != '\0' && *p != '/') ++p;
  while (*p == '/') ++p;
  return p;
}

int count_entries(const char* p) {
  int n = 0;
  for (; *p != '\0'; p = entry_end(p)) ++n;
  return n;
}

// Skips n entries.
const char* skip_entries(const char* p, int n) {
  for (; n > 0; --n) p = entry_end(p);
  return p;
}

// Number of leading entries of a and b that are equal byte for byte, slashes included.
int common_entries(const char* a, const char* b) {
  int n = 0;
  while (*a != '\0' && *b != '\0') {
    const char* a_end = entry_end(a);
    const char* b_end = entry_end(b);
    if (a_end - a != b_end - b) break;
    while (a != a_end && *a == *b) ++a, ++b;
    if (a != a_end) break;
    ++n;
  }
  return n;
}

}  // namespace

// A bare name is looked up along PATH the way a shell would have found it.
char* relocate_program_file(const char* prog_name, int resolve_links) {
  const char* found = prog_name;
  char stack_buffer[kStackCandidateMax];
  char* heap_buffer = nullptr;
  const char* path_value = getenv("PATH");

  if (path_value != nullptr && path_base_name(prog_name) == prog_name) {
    size_t path_len = strlen(path_value);
    size_t name_len = strlen(prog_name);
    // The longest component plus '/', or "./" for an empty one, then the name and NUL.
    size_t size = (path_len + 1 > 2 ? path_len + 1 : 2) + name_len + 1;
    char* buffer = stack_buffer;
    if (size > kStackCandidateMax) {
      heap_buffer = static_cast<char*>(malloc(size));
      if (heap_buffer == nullptr) return nullptr;
      buffer = heap_buffer;
    }
    if (search_path(path_value, prog_name, name_len, buffer)) found = buffer;
  }

  char* full_name = resolve_links ? canonical_path(found) : strdup(found);
  free(heap_buffer);
  return full_name;
}

char* relocate_dir_from_file(const char* program_file, const char* bin_dir, const char* target_dir) {
  // Empty paths have no entries at all, not even a directory to start from.
  if (*program_file == '\0' || *bin_dir == '\0' || *target_dir == '\0') return nullptr;
  int bin_count = count_entries(bin_dir);
  // The last entry is the program's file; the rest is its directory. A directory of
  // another depth than bin_dir never equals it, so no comparison is needed then.
  int dir_count = count_entries(program_file) - 1;
  if (dir_count == bin_count && common_entries(program_file, bin_dir) >= bin_count) return nullptr;
  // Without a shared root there is no way from one to the other.
  int common = common_entries(bin_dir, target_dir);
  if (common == 0) return nullptr;

  size_t dir_len = static_cast<size_t>(skip_entries(program_file, dir_count) - program_file);
  const char* tail = skip_entries(target_dir, common);
  size_t tail_len = strlen(tail);
  size_t ups = static_cast<size_t>(bin_count - common);
  char* result = static_cast<char*>(malloc(dir_len + 3 * ups + tail_len + 1));
  if (result == nullptr) return nullptr;
  char* p = result;
  memcpy(p, program_file, dir_len);
  p += dir_len;
  for (size_t i = 0; i < ups; ++i, p += 3) memcpy(p, "../", 3);
  memcpy(p, tail, tail_len + 1);
  return result;
}

char* relocate_dir_core(const char* prog_name, const char* bin_dir, const char* target_dir,
                        int resolve_links) {
  if (prog_name == nullptr || bin_dir == nullptr || target_dir == nullptr) return nullptr;
  char* program_file = relocate_program_file(prog_name, resolve_links);
  if (program_file == nullptr) return nullptr;
  char* result = relocate_dir_from_file(program_file, bin_dir, target_dir);
  free(program_file);
  return result;
}

char* relocate_dir(const char* prog_name, const char* bin_dir, const char* target_dir) {
  return relocate_dir_core(prog_name, bin_dir, target_dir, 1);
}

char* relocate_dir_literal(const char* prog_name, const char* bin_dir, const char* target_dir) {
  return relocate_dir_core(prog_name, bin_dir, target_dir, 0);
}
