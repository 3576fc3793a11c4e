// Conversions between argument vectors and std::string lists for the argv tests.
#pragma once

#include <string>
#include <vector>

namespace argvtest {

using strings = std::vector<std::string>;

/// The entries of a null-terminated vector; empty for null.
inline strings to_strings(char* const* argv) {
  strings out;
  for (; argv != nullptr && *argv != nullptr; ++argv) out.emplace_back(*argv);
  return out;
}

/// A vector that the test owns (not from the allocator), like a process's own argv.
class owned_vector {
 public:
  explicit owned_vector(const strings& args) : storage_(args) {
    for (std::string& s : storage_) pointers_.push_back(s.data());
    pointers_.push_back(nullptr);
  }
  char** data() { return pointers_.data(); }
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

}  // namespace argvtest
