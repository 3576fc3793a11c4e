// Small helpers for the tests that start real children.
#pragma once

#include <fcntl.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace testutil {

/// The descriptors below 256 that are open now.
inline std::vector<int> open_descriptors() {
  std::vector<int> fds;
  for (int fd = 0; fd < 256; ++fd) {
    if (fcntl(fd, F_GETFD) != -1) fds.push_back(fd);
  }
  return fds;
}

/// A null-terminated argument vector that owns its strings.
class arg_vector {
 public:
  arg_vector(std::initializer_list<std::string> args) : arg_vector(std::vector<std::string>(args)) {}
  explicit arg_vector(std::vector<std::string> args) : strings_(std::move(args)) {
    for (std::string& s : strings_) pointers_.push_back(s.data());
    pointers_.push_back(nullptr);
  }
  arg_vector(const arg_vector&) = delete;
  arg_vector& operator=(const arg_vector&) = delete;
  char* const* get() const { return pointers_.data(); }

 private:
  std::vector<std::string> strings_;
  std::vector<char*> pointers_;
};

}  // namespace testutil
