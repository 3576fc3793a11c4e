#include "argv/argv_vector.h"

#include <cstdlib>

#include "support/checked_alloc.h"

char** argv_copy(char* const* argv) {
  if (argv == nullptr) return nullptr;
  int argc = argv_length(argv);
  char** copy = static_cast<char**>(checked_alloc((static_cast<size_t>(argc) + 1) * sizeof(char*)));
  for (int i = 0; i < argc; ++i) copy[i] = checked_strdup(argv[i]);
  copy[argc] = nullptr;
  return copy;
}

void argv_release(char** argv) {
  if (argv == nullptr) return;
  for (char** entry = argv; *entry != nullptr; ++entry) free(*entry);
  free(argv);
}

int argv_length(char* const* argv) {
  int argc = 0;
  if (argv != nullptr) {
    while (argv[argc] != nullptr) ++argc;
  }
  return argc;
}
