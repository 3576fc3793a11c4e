// Streams on the ends of a pipeline, and the children's CPU times.
#pragma once

#include <cstdio>

#include "process/pex_pipeline.h"

/// Waits for the children and copies n timing records (zeros beyond the children);
/// 0 when a wait failed or no times were recorded.
int pex_get_timings(pex_pipeline* p, int n, pex_timing* timings);
/// Returns a stream for writing the first stage's input into a file; the next stage
/// closes it. Null with errno set (EINVAL once a stage exists, input is already set or the
/// pipeline is complete); a file it made for the purpose is removed again.
FILE* pex_set_input_file(pex_pipeline* p, int stage_flags, const char* name);
/// Returns a stream, owned by the caller, that writes into the first stage's standard
/// input through a pipe; null with errno set (EINVAL without PEX_VIA_PIPES, after a stage
/// or on a complete pipeline).
FILE* pex_open_input_pipe(pex_pipeline* p, int binary);
/// Returns a stream on the last stage's output, owned by the pipeline; null when there is none.
FILE* pex_open_stdout(pex_pipeline* p, int binary);
/// Returns a stream on the pending standard-error pipe, owned by the pipeline; null when
/// there is none.
FILE* pex_open_stderr(pex_pipeline* p, int binary);
