#include "search/dir_list.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "search/path_parts.h"
#include "support/checked_alloc.h"
#include "support/trace.h"

namespace {

// Stands for a failed stat; its errno says why, and only a trace asks.
constexpr char kStatFailed[] = "";

// Why a candidate reached through a prefix is passed over; null when it is taken.
const char* candidate_refusal(const char* path, int mode) {
  struct stat st;
  if (stat(path, &st) != 0) return kStatFailed;
  if (S_ISDIR(st.st_mode)) return "is a directory";
  if (access(path, mode) != 0) return mode == R_OK ? "no read access" : mode == X_OK ? "no execute access" : "no access";
  return nullptr;
}

// The refusal as the trace tells it.
const char* refusal_reason(const char* refusal) {
  if (refusal != kStatFailed) return refusal;
  // A directory on the way that may not be searched fails stat too, and is no missing file.
  return errno == ENOENT || errno == ENOTDIR ? "does not exist" : strerror(errno);
}

}  // namespace

char* search_dir_list(const dir_list* list, const char* name, int mode) {
  return search_dir_list_into(list, name, mode, nullptr, 0);
}

char* search_dir_list_into(const dir_list* list, const char* name, int mode, char* own, size_t own_size) {
  int32_t name_len = static_cast<int32_t>(strlen(name));
  size_t size = static_cast<size_t>(list->longest + name_len + 1);
  TRACE("Looking for '%s'", name);
  char* buffer = size <= own_size ? own : static_cast<char*>(checked_alloc(size));

  if (name[0] == '/') {
    // An absolute name is taken on access alone, directories included.
    if (access(name, mode) == 0) {
      memcpy(buffer, name, static_cast<size_t>(name_len) + 1);
      TRACE("  - found: absolute path");
      return buffer;
    }
    TRACE("  - failed to locate using absolute path");
  } else {
    for (const dir_entry* entry = list->first; entry != nullptr; entry = entry->next) {
      size_t prefix_len = strlen(entry->prefix);
      memcpy(buffer, entry->prefix, prefix_len);
      memcpy(buffer + prefix_len, name, static_cast<size_t>(name_len) + 1);
      const char* refusal = candidate_refusal(buffer, mode);
      if (refusal == nullptr) return buffer;
      TRACE("  - passed over %s: %s", buffer, refusal_reason(refusal));
    }
  }

  if (list->first == nullptr) TRACE("  - failed: no entries in prefix list");
  if (buffer != own) free(buffer);
  return nullptr;
}

namespace {

// Links entry, whose prefix of len bytes is in place, at *place; every addition goes
// through here, so longest always covers every prefix.
void link_entry(dir_list* list, dir_entry** place, dir_entry* entry, size_t len) {
  if (static_cast<int32_t>(len) > list->longest) list->longest = static_cast<int32_t>(len);
  entry->next = *place;
  *place = entry;
}

dir_entry** list_end(dir_list* list) {
  dir_entry** place = &list->first;
  while (*place != nullptr) place = &(*place)->next;
  return place;
}

}  // namespace

void dir_list_add(dir_list* list, const char* prefix, bool at_front) {
  // An entry and its copy of the prefix share one block: lists are never released.
  size_t len = strlen(prefix);
  dir_entry* entry = static_cast<dir_entry*>(checked_alloc(sizeof(dir_entry) + len + 1));
  entry->prefix = static_cast<char*>(memcpy(entry + 1, prefix, len + 1));
  link_entry(list, at_front ? &list->first : list_end(list), entry, len);
}

void dir_list_append(dir_list* list, const char* prefix) { dir_list_add(list, prefix, false); }

void dir_list_prepend(dir_list* list, const char* prefix) { dir_list_add(list, prefix, true); }

void dir_list_append_joined(dir_list* list, const char* const (*pairs)[2], size_t count, void* own,
                            size_t own_size) {
  // Laid out as dir_list_from_string lays out its entries: the array first, then the prefixes.
  size_t bytes = count * sizeof(dir_entry);
  for (size_t i = 0; i < count; ++i) bytes += strlen(pairs[i][0]) + strlen(pairs[i][1]) + 1;
  dir_entry* entry = static_cast<dir_entry*>(bytes <= own_size ? own : checked_alloc(bytes));
  char* prefix = reinterpret_cast<char*>(entry + count);
  dir_entry** place = list_end(list);
  for (size_t i = 0; i < count; ++i, ++entry) {
    size_t head = strlen(pairs[i][0]);
    size_t tail = strlen(pairs[i][1]);
    memcpy(prefix, pairs[i][0], head);
    memcpy(prefix + head, pairs[i][1], tail + 1);
    entry->prefix = prefix;
    link_entry(list, place, entry, head + tail);
    place = &entry->next;
    prefix += head + tail + 1;
  }
}

void dir_list_from_string(const char* text, dir_list* list) {
  TRACE("Convert string '%s' into prefixes, separator = '%c'", text, ':');
  // All entries of one string share one block, sized for n entries and the prefixes:
  // each component's bytes, a '/' and a NUL, or "./" and a NUL for an empty one.
  size_t count = 1;
  for (const char* end = path_list_entry_end(text); *end != '\0'; end = path_list_entry_end(end + 1)) ++count;
  size_t text_len = strlen(text);
  char* block = static_cast<char*>(checked_alloc(count * sizeof(dir_entry) + text_len + 3 * count));
  dir_entry* entry = reinterpret_cast<dir_entry*>(block);
  char* prefix = block + count * sizeof(dir_entry);

  dir_entry** place = list_end(list);
  for (const char* cursor = text; cursor != nullptr; ++entry) {
    size_t len = path_list_next(&cursor, prefix);
    TRACE("  - add prefix: %s", prefix);
    entry->prefix = prefix;
    link_entry(list, place, entry, len);
    place = &entry->next;
    prefix += len + 1;
  }
}

void dir_list_from_env(const char* name, dir_list* list) {
  const char* value = getenv(name);
  if (value != nullptr) dir_list_from_string(value, list);
}
