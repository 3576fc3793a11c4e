// What a wrapper tells on standard error when QUARN_TRACE is set: how it found its
// installation, the searches with every candidate passed over, and the command it starts.
// Callers call these only while trace_enabled.
#pragma once

#include "search/relocate.h"
#include "support/trace.h"

/// Tells the name relocation started from, whether QUARN_EXEC_PREFIX made it, and the
/// program file found for it (null when there is none), with what note says of it.
void trace_program_file(const char* prog_name, bool from_exec_prefix, const char* program_file,
                        relocate_note note);
/// Tells one installation directory: relocated when note is RELOCATE_OK, else the
/// configured one and why.
void trace_install_dir(const char* what, const char* dir, relocate_note note);
/// Tells the tool's command line, and the response file that carries it (null: none).
void trace_command(char* const* tool_argv, const char* response_file);
