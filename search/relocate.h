// Where a configured directory lies in an installation that was moved as a whole.
//
// The result is the running program's directory followed by the way from bin_dir to
// target_dir ("../" per step up, then the rest of target_dir), not normalised. Memory
// comes from the system allocator; its failure gives a null result, never an exit.
#pragma once

/// Returns a new string (caller frees) naming target_dir relative to the program's real
/// location, links resolved; null when the program lies in bin_dir, when bin_dir and
/// target_dir share no leading component, or when memory runs out.
char* relocate_dir(const char* prog_name, const char* bin_dir, const char* target_dir);
/// Returns what relocate_dir returns, but from the program's path as found, links kept.
char* relocate_dir_literal(const char* prog_name, const char* bin_dir, const char* target_dir);
/// Returns relocate_dir's result when resolve_links is non-zero, relocate_dir_literal's
/// otherwise; null for a null argument.
char* relocate_dir_core(const char* prog_name, const char* bin_dir, const char* target_dir,
                        int resolve_links);

/// Returns a new string naming the program's file as relocation sees it: prog_name, or
/// the first executable regular file of that name along PATH when it holds no '/',
/// resolved to its real path when resolve_links is set; null when memory runs out.
char* relocate_program_file(const char* prog_name, int resolve_links);
/// Returns relocate_dir_core's result for a program file that relocate_program_file
/// already found, so that several directories relocate from one lookup.
char* relocate_dir_from_file(const char* program_file, const char* bin_dir, const char* target_dir);
