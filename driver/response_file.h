// Handing the tool its arguments through a temporary response file.
#pragma once

/// Writes tool_argv from entry 1 on, quoted, into the file name and stores the vector
/// (tool_argv[0], "@" + name, null) in pass_through. On failure prints "Cannot open",
/// "Cannot write to" or "Cannot close temporary file <name>" and exits with status 1,
/// leaving the file behind.
void response_file_write(const char* name, char* const* tool_argv, char* pass_through[3]);
