// Writing an argument vector in the response-file text format.
//
// One argument per line. A backslash goes in front of every white-space byte
// (CC_SPACE) but newline, and of every single quote, double quote and backslash. A
// newline is written as the three bytes ' newline ', which the reader takes
// literally: a backslash-newline pair would be dropped as a line continuation. An
// empty argument is written as "". argv_parse reads the text back into the same
// vector for arguments of any bytes.
#pragma once

#include <cstdio>

/// Writes every argument of argv, each followed by a newline, to stream; returns 0 when
/// all was written, 1 for a null stream or at the first failed write, whatever the
/// stream's buffering (a stream already in error counts as failed; nothing is flushed).
int argv_write_quoted(char* const* argv, FILE* stream);
