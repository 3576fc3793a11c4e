// Allocation that never hands a failure back, and the one exit of the support code.
#pragma once

#include <cstddef>

/// Name put in front of the out-of-memory message; "" until set_alloc_program_name.
extern const char* alloc_program_name;
/// Program break recorded by the first set_alloc_program_name; null until then.
extern void* alloc_heap_start;
/// Run by exit_program before exit, when set. Nothing in the wrappers installs one.
extern void (*exit_cleanup_hook)(void);

/// Returns at least max(size, 1) bytes from malloc; ends the process when refused.
void* checked_alloc(size_t size);
/// Returns zeroed memory for count * size bytes (both 1 when either is 0); ends the process when refused.
void* checked_calloc(size_t count, size_t size);
/// Resizes old (a fresh malloc when old is null) to max(size, 1) bytes; ends the process when refused.
void* checked_realloc(void* old, size_t size);
/// Returns a new copy of the string, NUL included; ends the process when refused.
char* checked_strdup(const char* text);

/// Prints the out-of-memory message for the refused size and exits with status 1.
[[noreturn]] void alloc_failed(size_t size);
/// Records the name for the message and, on the first call only, the current program break.
void set_alloc_program_name(const char* name);
/// Runs exit_cleanup_hook when set, then exit(status).
[[noreturn]] void exit_program(int status);
