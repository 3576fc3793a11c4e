// One run of the wrapped tool, from its start to the wrapper's exit status.
#pragma once

/// Runs the tool at tool_path with tool_argv (tool path, "--plugin", plugin path, the
/// user's arguments) under the signal relay: through a response file when through_file is
/// set or when the system finds the command line too long, the file removed afterwards.
/// Returns the wrapper's exit status, after "Error running" when the tool could not be
/// started; a signal that interrupted the run ends the wrapper by that signal instead.
int run_tool(const char* tool_path, char** tool_argv, bool through_file);
