// Where a configured directory lies in an installation that was moved as a whole.
//
// The result is the running program's directory followed by the way from bin_dir to
// target_dir ("../" per step up, then the rest of target_dir), not normalised. Memory
// comes from the system allocator; its failure gives a null result, never an exit.
#pragma once

#include <cstddef>

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

/// What relocation has to say beyond its result: how it took a bare name, or why it
/// gave no directory. The routines below store a note only when there is one to give.
enum relocate_note {
  RELOCATE_OK,              // nothing to say
  RELOCATE_NOT_ON_PATH,     // a bare name found nowhere along PATH, taken as it stands
  RELOCATE_NO_PATH,         // a bare name while PATH is not set, taken as it stands
  RELOCATE_UNRESOLVED,      // a name with a '/' that names no file, taken as it stands
  RELOCATE_NO_NAME,         // an empty name: nothing to relocate from
  RELOCATE_IN_BIN_DIR,      // the program lies in bin_dir itself
  RELOCATE_NO_SHARED_ROOT,  // bin_dir and target_dir share no leading entry
  RELOCATE_NO_MEMORY,       // the system allocator refused
};

/// Returns a new string naming the program's file as relocation sees it: prog_name, or
/// the first executable regular file of that name along PATH when it holds no '/',
/// resolved to its real path when resolve_links is set; null when prog_name is empty or
/// memory runs out. Stores a note in *note (when note is not null) if there is one.
char* relocate_program_file(const char* prog_name, int resolve_links, relocate_note* note);
/// Returns relocate_dir_from_file's result, written into buffer when it fits in
/// buffer_size bytes, else in a new block.
char* relocate_dir_from_file_into(const char* program_file, const char* bin_dir, const char* target_dir,
                                  char* buffer, size_t buffer_size, relocate_note* note);
/// Returns what relocate_program_file returns with links resolved, but without a block of
/// its own: the name is left in resolved (PATH_MAX bytes) or is prog_name itself.
const char* relocate_program_file_in(const char* prog_name, char* resolved, relocate_note* note);
/// Returns relocate_dir_core's result for a program file that relocate_program_file
/// already found, so that several directories relocate from one lookup. Stores why in
/// *note (when note is not null) when the result is null.
char* relocate_dir_from_file(const char* program_file, const char* bin_dir, const char* target_dir,
                             relocate_note* note);
