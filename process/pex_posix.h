// The POSIX back end of the process pipeline.
#pragma once

#include "process/pex_backend.h"
#include "process/pex_pipeline.h"

/// The operations on POSIX descriptors, posix_spawn and waitpid/wait4. Keeps no state.
extern const pex_backend posix_backend;

/// Returns a new pipeline on posix_backend; the caller ends it with pex_destroy.
pex_pipeline* pex_create(int pipeline_flags, const char* program_name, const char* temp_name_base);
