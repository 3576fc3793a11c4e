#include "search/dir_list.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "support/checked_alloc.h"

namespace {

bool search_trace = false;

bool accepted_candidate(const char* path, int mode) {
  struct stat st;
  return stat(path, &st) == 0 && !S_ISDIR(st.st_mode) && access(path, mode) == 0;
}

}  // namespace

void set_search_trace(bool on) { search_trace = on; }

char* search_dir_list(const dir_list* list, const char* name, int mode) {
  int32_t name_len = static_cast<int32_t>(strlen(name));
  int32_t size = list->longest + name_len + 1;
  if (search_trace) fprintf(stderr, "Looking for '%s'\n", name);
  char* buffer = static_cast<char*>(checked_alloc(static_cast<size_t>(size)));

  if (name[0] == '/') {
    // An absolute name is taken on access alone, directories included.
    if (access(name, mode) == 0) {
      memcpy(buffer, name, static_cast<size_t>(name_len) + 1);
      if (search_trace) fprintf(stderr, "  - found: absolute path\n");
      return buffer;
    }
    if (search_trace) fprintf(stderr, "  - failed to locate using absolute path\n");
  } else {
    for (const dir_entry* entry = list->first; entry != nullptr; entry = entry->next) {
      size_t prefix_len = strlen(entry->prefix);
      memcpy(buffer, entry->prefix, prefix_len);
      memcpy(buffer + prefix_len, name, static_cast<size_t>(name_len) + 1);
      if (accepted_candidate(buffer, mode)) return buffer;
    }
  }

  if (search_trace && list->first == nullptr) fprintf(stderr, "  - failed: no entries in prefix list\n");
  free(buffer);
  return nullptr;
}

void dir_list_add(dir_list* list, const char* prefix, bool at_front) {
  dir_entry** place = &list->first;
  if (!at_front) {
    while (*place != nullptr) place = &(*place)->next;
  }
  int32_t len = static_cast<int32_t>(strlen(prefix));
  if (len > list->longest) list->longest = len;
  dir_entry* entry = static_cast<dir_entry*>(checked_alloc(sizeof(dir_entry)));
  entry->prefix = checked_strdup(prefix);
  entry->next = *place;
  *place = entry;
}

void dir_list_append(dir_list* list, const char* prefix) { dir_list_add(list, prefix, false); }

void dir_list_prepend(dir_list* list, const char* prefix) { dir_list_add(list, prefix, true); }

void dir_list_from_string(const char* text, dir_list* list) {
  // Room for the longest component, a '/' and the NUL; "./" fits as well.
  char* scratch = static_cast<char*>(checked_alloc(strlen(text) + 3));
  if (search_trace) fprintf(stderr, "Convert string '%s' into prefixes, separator = '%c'\n", text, ':');
  const char* start = text;
  for (;;) {
    const char* end = strchr(start, ':');
    size_t len = end != nullptr ? static_cast<size_t>(end - start) : strlen(start);
    if (len == 0) {
      memcpy(scratch, "./", 3);
    } else {
      memcpy(scratch, start, len);
      if (start[len - 1] != '/') scratch[len++] = '/';
      scratch[len] = '\0';
    }
    if (search_trace) fprintf(stderr, "  - add prefix: %s\n", scratch);
    dir_list_append(list, scratch);
    if (end == nullptr) break;
    start = end + 1;
  }
  free(scratch);
}

void dir_list_from_env(const char* name, dir_list* list) {
  const char* value = getenv(name);
  if (value != nullptr) dir_list_from_string(value, list);
}
