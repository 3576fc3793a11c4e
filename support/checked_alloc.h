// Allocation that never hands a failure back, and the one exit of the support code.
#pragma once

#include <cstddef>

/// Name put in front of the out-of-memory message; "" until set_alloc_program_name.
extern const char* alloc_program_name;
/// Bytes handed out by the checked allocators so far: every adjusted request, a resize's new size.
extern unsigned long alloc_total;
/// alloc_total at the first set_alloc_program_name, where the message's total starts; 0 until then.
extern unsigned long alloc_total_at_naming;
/// Run by exit_program before exit, when set: the signal relay sets it while a response
/// file exists, to remove that file.
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
/// Records the name for the message and, on the first call only, alloc_total.
void set_alloc_program_name(const char* name);
/// Runs exit_cleanup_hook when set, then exit(status).
[[noreturn]] void exit_program(int status);
/// Prints the message that format (printf's) makes on standard error, then exit_program(1).
[[noreturn]] void exit_with_message(const char* format, ...) __attribute__((format(printf, 1, 2)));
