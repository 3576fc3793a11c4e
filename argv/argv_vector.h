// Argument vectors as values: a null-terminated array of NUL-terminated strings.
//
// A vector made here owns its array and every string, each a separate block from
// the checked allocators, so argv_release can take it apart again.
#pragma once

/// Returns a deep copy (fresh array, fresh strings) that the caller owns; null for null.
char** argv_copy(char* const* argv);
/// Frees every string of the vector, then its array; nothing for null.
void argv_release(char** argv);
/// Returns the number of entries before the terminating null; 0 for null.
int argv_length(char* const* argv);
