#include "search/relocate.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>

#include "search/path_parts.h"
#include "support/env_snapshot.h"

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

// Tries each directory of path_value in order and leaves the first accepted candidate in
// buffer. The buffer must hold max(strlen(path_value) + 1, 2) + name_len + 1 bytes.
bool search_path(const char* path_value, const char* name, size_t name_len, char* buffer) {
  for (const char* cursor = path_value; cursor != nullptr;) {
    size_t len = path_list_next(&cursor, buffer);
    memcpy(buffer + len, name, name_len + 1);
    if (is_program_file(buffer)) return true;
  }
  return false;
}

// Path entries, as split_path makes them, walked in place: an entry runs through the
// whole run of '/' that follows it. Comparing and copying entries where they lie saves
// a dozen allocations.
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

// The null result, with its reason for a caller that asked.
char* refused(relocate_note* note, relocate_note why) {
  if (note != nullptr) *note = why;
  return nullptr;
}

// relocate_program_file's name, left in resolved (PATH_MAX bytes) or pointing at
// prog_name itself. A bare name is looked up along PATH the way a shell would find it.
const char* find_program_file(const char* prog_name, int resolve_links, char* resolved, relocate_note* note) {
  // An empty name would only be tried against every PATH directory, itself no program.
  if (*prog_name == '\0') return refused(note, RELOCATE_NO_NAME);
  const char* found = prog_name;
  char stack_buffer[kStackCandidateMax];
  char* heap_buffer = nullptr;
  // A name with a '/' is used as it stands; only a bare name needs PATH.
  bool bare = path_base_name(prog_name) == prog_name;
  const char* path_value = bare ? env_value(ENV_PATH) : nullptr;
  if (bare && path_value == nullptr && note != nullptr) *note = RELOCATE_NO_PATH;

  if (path_value != nullptr) {
    size_t path_len = strlen(path_value);
    size_t name_len = strlen(prog_name);
    // The longest component plus '/', or "./" for an empty one, then the name and NUL.
    size_t size = (path_len + 1 > 2 ? path_len + 1 : 2) + name_len + 1;
    char* buffer = stack_buffer;
    if (size > kStackCandidateMax) {
      heap_buffer = static_cast<char*>(malloc(size));
      if (heap_buffer == nullptr) return refused(note, RELOCATE_NO_MEMORY);
      buffer = heap_buffer;
    }
    if (search_path(path_value, prog_name, name_len, buffer)) {
      found = buffer;
    } else if (note != nullptr) {
      *note = RELOCATE_NOT_ON_PATH;
    }
  }

  const char* result = prog_name;
  if (resolve_links && realpath(found, resolved) != nullptr) {
    result = resolved;
  } else if (found != prog_name) {
    // A candidate that stat accepted is shorter than PATH_MAX.
    size_t size = strlen(found) + 1;
    result = size <= PATH_MAX ? static_cast<const char*>(memcpy(resolved, found, size)) : nullptr;
  }
  free(heap_buffer);
  return result != nullptr ? result : refused(note, RELOCATE_NO_MEMORY);
}

}  // namespace

char* relocate_program_file(const char* prog_name, int resolve_links, relocate_note* note) {
  char resolved[PATH_MAX];
  const char* found = find_program_file(prog_name, resolve_links, resolved, note);
  if (found == nullptr) return nullptr;
  char* full_name = copy_path(found);
  return full_name != nullptr ? full_name : refused(note, RELOCATE_NO_MEMORY);
}

const char* relocate_program_file_in(const char* prog_name, char* resolved, relocate_note* note) {
  return find_program_file(prog_name, 1, resolved, note);
}

char* relocate_dir_from_file(const char* program_file, const char* bin_dir, const char* target_dir,
                             relocate_note* note) {
  return relocate_dir_from_file_into(program_file, bin_dir, target_dir, nullptr, 0, note);
}

char* relocate_dir_from_file_into(const char* program_file, const char* bin_dir, const char* target_dir,
                                  char* buffer, size_t buffer_size, relocate_note* note) {
  // Empty paths have no entries at all, not even a directory to start from.
  if (*program_file == '\0') return refused(note, RELOCATE_NO_NAME);
  if (*bin_dir == '\0' || *target_dir == '\0') return refused(note, RELOCATE_NO_SHARED_ROOT);
  // The last entry is the program's file; the entries before it, its directory, are
  // the bytes up to where that entry starts: back over its trailing slashes, if any,
  // and its name, to the slash before it.
  size_t dir_len = strlen(program_file);
  while (dir_len > 0 && program_file[dir_len - 1] == '/') --dir_len;
  while (dir_len > 0 && program_file[dir_len - 1] != '/') --dir_len;
  // Entry by entry equal is byte for byte equal: then the program lies in bin_dir.
  size_t bin_len = strlen(bin_dir);
  if (dir_len == bin_len) {
    size_t i = 0;
    while (i < bin_len && program_file[i] == bin_dir[i]) ++i;
    if (i == bin_len) return refused(note, RELOCATE_IN_BIN_DIR);
  }
  // Walk bin_dir and target_dir together over their common entries; what is left of
  // bin_dir is climbed with "../", what is left of target_dir is appended.
  const char* bin_rest = bin_dir;
  const char* tail = target_dir;
  while (*bin_rest != '\0') {
    const char* bin_end = entry_end(bin_rest);
    size_t len = static_cast<size_t>(bin_end - bin_rest);
    size_t same = 0;
    while (same < len && bin_rest[same] == tail[same]) ++same;
    if (same != len || entry_end(tail) != tail + len) break;
    bin_rest = bin_end;
    tail += len;
  }
  // Without a shared root there is no way from one to the other.
  if (bin_rest == bin_dir) return refused(note, RELOCATE_NO_SHARED_ROOT);
  size_t ups = static_cast<size_t>(count_entries(bin_rest));
  size_t tail_len = strlen(tail);
  size_t size = dir_len + 3 * ups + tail_len + 1;
  char* result = size <= buffer_size ? buffer : static_cast<char*>(malloc(size));
  if (result == nullptr) return refused(note, RELOCATE_NO_MEMORY);
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
  char* program_file = relocate_program_file(prog_name, resolve_links, nullptr);
  if (program_file == nullptr) return nullptr;
  char* result = relocate_dir_from_file(program_file, bin_dir, target_dir, nullptr);
  free(program_file);
  return result;
}

char* relocate_dir(const char* prog_name, const char* bin_dir, const char* target_dir) {
  return relocate_dir_core(prog_name, bin_dir, target_dir, 1);
}

char* relocate_dir_literal(const char* prog_name, const char* bin_dir, const char* target_dir) {
  return relocate_dir_core(prog_name, bin_dir, target_dir, 0);
}
