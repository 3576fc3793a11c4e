// Helpers shared by the fuzz targets: vectors as std::string lists, and the writer's
// output captured in memory.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "argv/argv_write.h"

namespace fuzzutil {

using strings = std::vector<std::string>;

inline strings to_strings(char* const* argv) {
  strings out;
  for (; argv != nullptr && *argv != nullptr; ++argv) out.emplace_back(*argv);
  return out;
}

/// Null-terminated pointers into args, which must outlive the result.
inline std::vector<char*> pointers(strings& args) {
  std::vector<char*> p;
  for (std::string& s : args) p.push_back(s.data());
  p.push_back(nullptr);
  return p;
}

/// What argv_write_quoted writes for argv; aborts when it reports a failure.
inline std::string write_to_memory(char* const* argv) {
  char* buffer = nullptr;
  size_t size = 0;
  FILE* stream = open_memstream(&buffer, &size);
  if (stream == nullptr || argv_write_quoted(argv, stream) != 0 || fclose(stream) != 0) abort();
  std::string text(buffer, size);
  free(buffer);
  return text;
}

}  // namespace fuzzutil
