// The trace that QUARN_TRACE switches on: one switch for every layer, and one way of
// printing what comes from outside (paths, names, arguments, environment values) so that
// a trace is safe to show on a terminal and to paste.
//
// Every byte of a %s argument that is a control (C0, DEL, C1 raw or UTF-8-encoded), a
// backslash, or no part of valid UTF-8 is shown as a backslash and three octal digits
// ("\\" for the backslash itself); other text, UTF-8 included, passes as it is. So each
// trace line stays one line, whatever the names hold.
#pragma once

/// True when QUARN_TRACE held a non-empty value at trace_init; false before.
extern bool trace_enabled;

/// Reads QUARN_TRACE (env_value) once and sets trace_enabled.
void trace_init();
/// Writes one line on standard error, the newline added: format takes %s (an outside
/// string, escaped), %d, %u, %lu, %zu, %c (a byte, escaped like a %s) and %%.
void trace_line(const char* format, ...) __attribute__((format(printf, 1, 2)));
/// Writes label (escaped), then each argument after a space, as one line on standard
/// error; an argument a reader could not tell the end or contents of (empty, with white
/// space, quotes or escapes) is double-quoted, a '"' inside as \".
void trace_command_line(const char* label, char* const* argv);

/// A trace site: its arguments are evaluated only while tracing is on.
#define TRACE(...)                                 \
  do {                                             \
    if (trace_enabled) trace_line(__VA_ARGS__);    \
  } while (0)
