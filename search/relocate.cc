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
    const char* end = strchr(start, ':');
    size_t len = end != nullptr ? static_cast<size_t>(end - start) : strlen(start);
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
    if (end == nullptr) return false;
    start = end + 1;
  }
}

// Returns a new string with the program's file name: a bare name is looked up along
// PATH the way a shell would have found it, and the result is resolved to its real
// path when resolve_links is set. Null when memory runs out.
char* program_full_name(const char* prog_name, int resolve_links) {
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

bool same_parts(char* const* a, char* const* b, int count) {
  for (int i = 0; i < count; ++i) {
    if (strcmp(a[i], b[i]) != 0) return false;
  }
  return true;
}

// Joins the program's directory, "../" for each bin entry past the common ones, and the
// rest of the target. Null when memory runs out.
char* join_relocated(char* const* dir_parts, int dir_count, int ups, char* const* tail_parts) {
  size_t size = 1;
  for (int i = 0; i < dir_count; ++i) size += strlen(dir_parts[i]);
  size += 3 * static_cast<size_t>(ups);
  for (char* const* part = tail_parts; *part != nullptr; ++part) size += strlen(*part);

  char* result = static_cast<char*>(malloc(size));
  if (result == nullptr) return nullptr;
  char* p = result;
  for (int i = 0; i < dir_count; ++i) p = stpcpy(p, dir_parts[i]);
  for (int i = 0; i < ups; ++i) p = stpcpy(p, "../");
  for (char* const* part = tail_parts; *part != nullptr; ++part) p = stpcpy(p, *part);
  return result;
}

}  // namespace

char* relocate_dir_core(const char* prog_name, const char* bin_dir, const char* target_dir,
                        int resolve_links) {
  if (prog_name == nullptr || bin_dir == nullptr || target_dir == nullptr) return nullptr;

  char* full_name = program_full_name(prog_name, resolve_links);
  if (full_name == nullptr) return nullptr;

  int prog_count = 0;
  int bin_count = 0;
  int target_count = 0;
  int dir_count = 0;
  int common = 0;
  char** bin_parts = nullptr;
  char** target_parts = nullptr;
  char* result = nullptr;
  char** prog_parts = split_path(full_name, &prog_count);
  free(full_name);
  if (prog_parts == nullptr) goto out;
  bin_parts = split_path(bin_dir, &bin_count);
  if (bin_parts == nullptr) goto out;

  // The last entry is the program's file; the rest is its directory. A directory of
  // another depth than bin_dir never equals it, so no comparison is needed then.
  dir_count = prog_count - 1;
  if (dir_count == bin_count && same_parts(prog_parts, bin_parts, bin_count)) goto out;

  target_parts = split_path(target_dir, &target_count);
  if (target_parts == nullptr) goto out;
  while (common < bin_count && common < target_count &&
         strcmp(bin_parts[common], target_parts[common]) == 0) {
    ++common;
  }
  // Without a shared root there is no way from one to the other.
  if (common == 0) goto out;
  result = join_relocated(prog_parts, dir_count, bin_count - common, target_parts + common);

out:
  free_path_parts(target_parts);
  free_path_parts(bin_parts);
  free_path_parts(prog_parts);
  return result;
}

char* relocate_dir(const char* prog_name, const char* bin_dir, const char* target_dir) {
  return relocate_dir_core(prog_name, bin_dir, target_dir, 1);
}

char* relocate_dir_literal(const char* prog_name, const char* bin_dir, const char* target_dir) {
  return relocate_dir_core(prog_name, bin_dir, target_dir, 0);
}
