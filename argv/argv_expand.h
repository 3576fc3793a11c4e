// In-place expansion of @-file arguments.
#pragma once

/// Replaces every argument after index 0 that begins with '@' by the arguments that
/// argv_parse reads from the named file, re-examining what it inserts (depth first).
/// Arguments naming a file that cannot be stat'ed, opened, seeked or read stay as they
/// are, and so do FIFOs. When a file was read, *argv becomes a new vector that the
/// caller owns (the caller's own array and strings are never touched) and *argc its
/// length; otherwise both stay unchanged. A directory, or a 2000th @-argument within one
/// call, prints a message and ends the program through exit_program(1).
void argv_expand_at_files(int* argc, char*** argv);
