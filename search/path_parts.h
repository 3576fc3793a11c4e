// Path utilities of the prefix relocation: component lists, base names and real paths.
//
// The allocating routines here take memory from the system allocator and answer its
// failure with a null result; they never end the process.
#pragma once

#include <cstddef>

/// Returns a new null-terminated list of new strings, one per component with the run of
/// '/' that follows it, and stores the entry count in *count when count is not null;
/// null for an empty path or when memory runs out. Release it with free_path_parts.
char** split_path(const char* path, int* count);
/// Frees every entry of a list made by split_path and then the list; null is ignored.
void free_path_parts(char** parts);

/// Returns a pointer into path just after its last '/', or path itself.
const char* path_base_name(const char* path);
/// Returns a pointer into path just after its last '/', or path itself.
const char* path_base_name_posix(const char* path);
/// Returns a pointer into path after a leading drive prefix ("C:") and after the last
/// '/' or '\\', or the path past its drive prefix.
const char* path_base_name_dos(const char* path);

/// Returns the end of the ':'-separated entry that starts at entry (a PATH-like list):
/// its ':' or the list's terminating NUL.
const char* path_list_entry_end(const char* entry);
/// Writes the entry at *cursor as a directory prefix into out, NUL-terminated: "./" for an
/// empty entry, else the entry with a '/' added unless it ends in one; returns its length.
/// Moves *cursor to the next entry, or to null after the last. out holds the entry's
/// length + 3 bytes.
size_t path_list_next(const char** cursor, char* out);

/// Returns a new copy of path from the system allocator (as strdup does), or null.
char* copy_path(const char* path);
/// Returns a new string (caller frees) with the real path of the file, or a copy of path
/// when it cannot be resolved; null only when the copy cannot be allocated.
char* canonical_path(const char* path);
