// The pending input file of a pipeline, shared by its stage and stream operations.
#pragma once

#include "process/pex_pipeline.h"

/// Makes name the file that the next stage reads; made says that the pipeline made the
/// string. With remove set the file is also listed for removal by pex_destroy, and the list
/// owns the name (a copy of a name it did not make); otherwise the pipeline owns it
/// exactly when it made it.
void pex_pend_input_name(pex_pipeline* p, char* name, bool made, bool remove);
/// Forgets the pending input file, freeing its name when the pipeline owns it.
void pex_clear_input_name(pex_pipeline* p);
