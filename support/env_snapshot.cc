#include "support/env_snapshot.h"

#include <cstdlib>

extern char** environ;

namespace {

constexpr const char* kNames[ENV_VAR_COUNT] = {"QUARN_TRACE", "QUARN_EXEC_PREFIX", "PATH"};

bool taken = false;
const char* values[ENV_VAR_COUNT];

// The value in entry when it is name=value, else null.
const char* value_of(const char* entry, const char* name) {
  while (*name != '\0' && *entry == *name) ++entry, ++name;
  return *name == '\0' && *entry == '=' ? entry + 1 : nullptr;
}

}  // namespace

void env_snapshot_take() {
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    // Most entries are told apart by their first byte alone.
    char first = **entry;
    if (first != 'P' && first != 'Q') continue;
    for (int var = 0; var < ENV_VAR_COUNT; ++var) {
      // The first entry of a name is the one getenv would find.
      if (values[var] == nullptr) values[var] = value_of(*entry, kNames[var]);
    }
  }
  taken = true;
}

const char* env_value(env_var var) { return taken ? values[var] : getenv(kNames[var]); }
