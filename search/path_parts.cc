#include "search/path_parts.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "support/char_class.h"

namespace {

const char* base_after_separators(const char* path, bool backslash_too) {
  const char* base = path;
  for (const char* p = path; *p != '\0'; ++p) {
    if (*p == '/' || (backslash_too && *p == '\\')) base = p + 1;
  }
  return base;
}

}  // namespace

char** split_path(const char* path, int* count) {
  if (path[0] == '\0') return nullptr;

  // Every entry but the last ends in a run of '/', so r runs give at most r + 1
  // entries; one more slot holds the terminating null.
  size_t runs = 0;
  for (const char* p = path; *p != '\0'; ++p) {
    if (*p == '/' && (p == path || p[-1] != '/')) ++runs;
  }
  char** parts = static_cast<char**>(malloc((runs + 2) * sizeof(char*)));
  if (parts == nullptr) return nullptr;

  int n = 0;
  const char* start = path;
  const char* p = path;
  for (;;) {
    while (*p != '\0' && *p != '/') ++p;
    // The slashes stay with the component before them, so "//" remains visible.
    while (*p == '/') ++p;
    if (p == start) break;
    size_t len = static_cast<size_t>(p - start);
    char* part = static_cast<char*>(malloc(len + 1));
    if (part == nullptr) {
      parts[n] = nullptr;
      free_path_parts(parts);
      return nullptr;
    }
    memcpy(part, start, len);
    part[len] = '\0';
    parts[n++] = part;
    start = p;
  }
  parts[n] = nullptr;
  if (count != nullptr) *count = n;
  return parts;
}

void free_path_parts(char** parts) {
  if (parts == nullptr) return;
  for (char** part = parts; *part != nullptr; ++part) free(*part);
  free(parts);
}

const char* path_base_name(const char* path) { return base_after_separators(path, false); }

const char* path_base_name_posix(const char* path) { return base_after_separators(path, false); }

const char* path_base_name_dos(const char* path) {
  // NUL is no letter, so path[1] is only read when path[0] is a real byte.
  if (char_has_class(static_cast<unsigned char>(path[0]), CC_ALPHA) && path[1] == ':') path += 2;
  return base_after_separators(path, true);
}

const char* path_list_entry_end(const char* entry) {
  // strchr rather than a byte loop: only a run that walks PATH gets here (started by a
  // bare name, or with the tool missing from the installation), and there libc's wide
  // scan pays for itself.
  const char* colon = strchr(entry, ':');
  return colon != nullptr ? colon : entry + strlen(entry);
}

size_t path_list_next(const char** cursor, char* out) {
  const char* start = *cursor;
  const char* end = path_list_entry_end(start);
  size_t len = static_cast<size_t>(end - start);
  // An empty entry is the working directory, as a shell takes it.
  if (len == 0) {
    memcpy(out, "./", 2);
    len = 2;
  } else {
    memcpy(out, start, len);
    if (start[len - 1] != '/') out[len++] = '/';
  }
  out[len] = '\0';
  *cursor = *end != '\0' ? end + 1 : nullptr;
  return len;
}

char* copy_path(const char* path) {
  // strdup by hand, from calls the wrappers make anyway: one libc import fewer.
  size_t size = strlen(path) + 1;
  char* copy = static_cast<char*>(malloc(size));
  return copy != nullptr ? static_cast<char*>(memcpy(copy, path, size)) : nullptr;
}

char* canonical_path(const char* path) {
  // realpath writes up to PATH_MAX bytes into a caller's buffer.
  char resolved[PATH_MAX];
  return copy_path(realpath(path, resolved) != nullptr ? resolved : path);
}
