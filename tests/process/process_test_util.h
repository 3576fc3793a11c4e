// Small helpers for the tests that start real children.
#pragma once

#include <fcntl.h>

#include <vector>

#include "common/arg_vector.h"

namespace testutil {

/// The descriptors below 256 that are open now.
inline std::vector<int> open_descriptors() {
  std::vector<int> fds;
  for (int fd = 0; fd < 256; ++fd) {
    if (fcntl(fd, F_GETFD) != -1) fds.push_back(fd);
  }
  return fds;
}

}  // namespace testutil
