// A pipeline of child processes with redirected standard streams, built on a
// table of operating-system operations (process/pex_backend.h).
//
// Operations that start or wait for children return null on success, or a short
// static message naming what failed, with an errno-style code in *error_code
// (0 when the pipeline itself refused).
#pragma once

#include <cstdint>
#include <cstdio>
#include <sys/types.h>

// Pipeline flags, given at creation.
inline constexpr int PEX_TIMING = 0x1;      // collections also record CPU times
inline constexpr int PEX_VIA_PIPES = 0x2;   // stages talk through pipes, not temporary files
inline constexpr int PEX_KEEP_TEMPS = 0x4;  // temporary stage outputs survive pex_destroy

// Stage flags, given to each stage.
inline constexpr int PEX_FINAL = 0x1;
inline constexpr int PEX_PATH_SEARCH = 0x2;
inline constexpr int PEX_OUTNAME_SUFFIX = 0x4;
inline constexpr int PEX_MERGE_STDERR = 0x8;
inline constexpr int PEX_INPUT_BINARY = 0x10;
inline constexpr int PEX_OUTPUT_BINARY = 0x20;
inline constexpr int PEX_STDERR_TO_PIPE = 0x40;
inline constexpr int PEX_ERROR_BINARY = 0x80;
inline constexpr int PEX_OUTPUT_APPEND = 0x100;
inline constexpr int PEX_ERROR_APPEND = 0x200;

/// CPU times of one waited-for child.
struct pex_timing {
  int64_t user_sec;
  int64_t user_usec;
  int64_t sys_sec;
  int64_t sys_usec;
};

struct pex_backend;

struct pex_pipeline {
  int32_t pipeline_flags;
  const char* program_name;    // not owned; kept for the caller
  const char* temp_name_base;  // not owned; may be null
  int32_t next_stdin_fd;       // 0 is our own stdin; -1 once complete, or once a failed stage used it up
  char* next_stdin_name;       // pending input file; wins over next_stdin_fd
  int32_t next_stdin_name_owned;
  int32_t stderr_read_fd;  // pending standard-error pipe, -1 for none
  int32_t child_count;
  pid_t* child_ids;
  int32_t* statuses;  // -1 for a child whose wait failed: a wait status fits in 16 bits
  pex_timing* timings;
  // The first child's id and status, where child_ids and statuses point while there is
  // one child: the single-command run then takes no array from the allocator.
  pid_t first_child_id;
  int32_t first_status;
  int32_t collected_count;  // the first collected_count children have been waited for
  FILE* input_stream;       // from pex_set_input_file; closed by the next stage
  FILE* stdout_stream;
  FILE* stderr_stream;
  int32_t earlier_stream_count;
  FILE** earlier_streams;  // kept streams that a later one replaced; closed by pex_destroy
  int32_t temp_file_count;
  char** temp_files;  // removed and freed by pex_destroy
  const pex_backend* backend;
  void* backend_data;  // reserved for the back end
};

/// Returns a new, empty pipeline on backend; the caller ends it with pex_destroy.
pex_pipeline* pex_create_with_backend(int pipeline_flags, const char* program_name,
                                      const char* temp_name_base, const pex_backend* backend);
/// Makes *p a new, empty pipeline on backend in the caller's storage; end it with pex_finish.
void pex_init(pex_pipeline* p, int pipeline_flags, const char* program_name, const char* temp_name_base,
              const pex_backend* backend);
/// Starts the next stage; null on success, else a static message with the code in *error_code.
/// A refusal that needs no system call (code 0) leaves the pipeline as it was.
const char* pex_add_stage(pex_pipeline* p, int stage_flags, const char* executable, char* const* argv,
                          char* const* environment, const char* output_name, const char* error_name,
                          int* error_code);
/// pex_add_stage with the parent's own environment.
const char* pex_add_stage_inherit_env(pex_pipeline* p, int stage_flags, const char* executable,
                                      char* const* argv, const char* output_name, const char* error_name,
                                      int* error_code);
/// Waits for every child not yet waited for; 1 when all waits succeeded, else 0 with *message set.
/// An interrupted wait (EINTR) ends the collection: that child and the later ones stay
/// uncollected for a later call.
int pex_collect_children(pex_pipeline* p, int kill_first, const char** message, int* error_code);
/// Returns the file name for a stage output: name itself, or a new string the caller owns; null on failure.
char* pex_temp_name(pex_pipeline* p, int stage_flags, const char* name);
/// Waits for the children and copies n wait statuses (0 beyond the children); 0, copying
/// nothing, while a wait is interrupted or once one has failed.
int pex_get_status(pex_pipeline* p, int n, int* statuses);
/// Closes what the pipeline holds, signals and reaps every uncollected child, removes its
/// temporary files, and frees the pipeline.
void pex_destroy(pex_pipeline* p);
/// Does all that pex_destroy does but give back p's own storage, which is the caller's.
void pex_finish(pex_pipeline* p);
