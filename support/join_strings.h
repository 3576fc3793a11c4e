// Concatenation of a list of strings ended by a null pointer.
//
// Every member takes the strings as variadic arguments after the first; the list
// ends at the first null pointer, which the compiler insists on (sentinel).
// An empty string is an ordinary member that adds nothing.
#pragma once

#include <cstddef>

/// Buffer that join_strings_shared writes into; the caller sets it first.
extern char* shared_join_buffer;

/// Returns the sum of the lengths of the strings; 0 for the empty list.
size_t join_strings_length(const char* first, ...) __attribute__((sentinel));
/// Writes the concatenation into dest, which must be large enough; returns dest.
char* join_strings_into(char* dest, const char* first, ...) __attribute__((sentinel));
/// Writes the concatenation into shared_join_buffer and returns it.
char* join_strings_shared(const char* first, ...) __attribute__((sentinel));
/// Returns the concatenation in a new, exactly sized block that the caller owns.
char* join_strings(const char* first, ...) __attribute__((sentinel));
/// As join_strings, then frees old (which may itself be one of the joined strings).
char* join_strings_replacing(char* old, const char* first, ...) __attribute__((sentinel));
