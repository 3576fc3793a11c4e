// Argument vectors for tests and fuzz targets: std::string lists in, C vectors out.
// Header only and free of GoogleTest, so that the fuzz targets can use it as well.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "argv/argv_write.h"

namespace testutil {

using strings = std::vector<std::string>;

/// The entries of a null-terminated vector; empty for null.
inline strings to_strings(char* const* argv) {
  strings out;
  for (; argv != nullptr && *argv != nullptr; ++argv) out.emplace_back(*argv);
  return out;
}

/// A null-terminated vector over strings it owns, like a process's own argv: writable,
/// and not from the allocator, so code under test must copy it before changing it.
class arg_vector {
 public:
  arg_vector(std::initializer_list<std::string> args) : arg_vector(strings(args)) {}
  explicit arg_vector(strings args) : storage_(std::move(args)) {
    for (std::string& s : storage_) pointers_.push_back(s.data());
    pointers_.push_back(nullptr);
  }
  arg_vector(const arg_vector&) = delete;
  arg_vector& operator=(const arg_vector&) = delete;
  char** data() { return pointers_.data(); }
  char* const* get() const { return pointers_.data(); }
  int size() const { return static_cast<int>(storage_.size()); }
  /// True when neither the array nor any string differs from what the constructor made.
  bool intact(const strings& original) const {
    if (pointers_.size() != original.size() + 1 || pointers_.back() != nullptr) return false;
    for (size_t i = 0; i < original.size(); ++i) {
      if (pointers_[i] != storage_[i].data() || std::string(pointers_[i]) != original[i]) return false;
    }
    return true;
  }

 private:
  strings storage_;
  std::vector<char*> pointers_;
};

/// The text argv_write_quoted writes for argv, with its result in *status.
inline std::string write_to_memory(char* const* argv, int* status) {
  char* buffer = nullptr;
  size_t size = 0;
  FILE* stream = open_memstream(&buffer, &size);
  if (stream == nullptr) abort();
  *status = argv_write_quoted(argv, stream);
  if (fclose(stream) != 0) *status = -1;
  std::string text(buffer, size);
  free(buffer);
  return text;
}

}  // namespace testutil
