// Running one command to completion.
#pragma once

/// Runs executable as the only stage of a fresh pipeline and stores its raw wait status
/// in *status; returns null on success, else a static message with the code in *error_code.
const char* pex_run_command(int stage_flags, const char* executable, char* const* argv,
                            const char* program_name, const char* output_name, const char* error_name,
                            int* status, int* error_code);
