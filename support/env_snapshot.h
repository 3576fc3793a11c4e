// The environment variables the wrappers read at start, taken in one pass over environ
// instead of a getenv scan of the whole environment for each.
#pragma once

enum env_var { ENV_QUARN_TRACE, ENV_QUARN_EXEC_PREFIX, ENV_PATH, ENV_VAR_COUNT };

/// Reads every env_var in one pass over environ; env_value answers from it from then on.
/// The wrappers never change their environment, so what it found stays true.
void env_snapshot_take();
/// Returns the variable's value, null when unset: from the snapshot once taken, else getenv's.
const char* env_value(env_var var);
