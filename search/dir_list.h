// Ordered lists of directory prefixes and the search of a file along them. While
// trace_enabled, they tell on standard error the prefixes made, each name looked for,
// and each candidate passed over and why.
#pragma once

#include <cstddef>
#include <cstdint>

struct dir_entry {
  char* prefix;     // owned copy, in the same block as the entry; used exactly as stored
  dir_entry* next;  // null for the last entry
};

/// A zero-filled dir_list is a valid empty list. Lists only grow.
struct dir_list {
  dir_entry* first;
  int32_t longest;  // greatest prefix length ever added; sizes the search buffer
};

/// Returns a new full path (prefix + name, or name itself when absolute) that passes
/// access(mode) and, through a prefix, is no directory; null when none does.
char* search_dir_list(const dir_list* list, const char* name, int mode);
/// As search_dir_list, but the path is built in own when it fits in own_size bytes
/// (else in a new block); the result is then own itself.
char* search_dir_list_into(const dir_list* list, const char* name, int mode, char* own, size_t own_size);
/// Adds a copy of prefix at the front (or when the list is empty) or at the back.
void dir_list_add(dir_list* list, const char* prefix, bool at_front);
/// Adds a copy of prefix at the back.
void dir_list_append(dir_list* list, const char* prefix);
/// Adds a copy of prefix at the front.
void dir_list_prepend(dir_list* list, const char* prefix);
/// Appends count entries, entry i being pairs[i][0] followed by pairs[i][1], in one block:
/// own (aligned for dir_entry) when the block fits in own_size bytes, which must then
/// outlive the list, else a new one.
void dir_list_append_joined(dir_list* list, const char* const (*pairs)[2], size_t count, void* own,
                            size_t own_size);
/// Appends one prefix per ':'-separated component of text: "" gives "./", and a
/// component gets a '/' unless it ends in one.
void dir_list_from_string(const char* text, dir_list* list);
/// dir_list_from_string on the variable's value when it is set (also when empty).
void dir_list_from_env(const char* name, dir_list* list);
