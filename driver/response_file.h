// Handing the tool its arguments through a temporary response file.
#pragma once

struct response_file {
  char* name;  // null while no file is in use
  int fd;      // open for writing from creation until response_file_write
};

/// Creates a fresh, empty response file in the temporary directory, open for writing, and
/// makes it the file that a terminating signal or an exit through exit_program removes.
void response_file_create(response_file* file);
/// Writes tool_argv from entry 1 on, quoted, through the file's descriptor and stores the
/// vector (tool_argv[0], "@" + name, null) in pass_through. On failure prints "Cannot
/// open", "Cannot write to" or "Cannot close temporary file <name>", removes the file and
/// exits with status 1.
void response_file_write(response_file* file, char* const* tool_argv, char* pass_through[3]);
/// Removes the file, if one is in use.
void response_file_remove(response_file* file);
