// A pex_backend that records every call and can be told to fail one of them.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "process/pex_pipeline.h"

namespace testutil {

/// Descriptors are numbers from 10 up, never real; children exit with status pid - 99
/// (ids from 100 up). Streams are real ones on /dev/null. spawn_child takes its three
/// descriptors whether or not it fails, as the real back end does.
struct fake_backend {
  /// One line per call, e.g. "spawn_child 0x1 prog in=0 out=1 err=2 close=-1".
  std::vector<std::string> calls;
  std::set<int> open_fds;  // fake descriptors not closed yet, by whoever holds them
  std::vector<int> stray_closes;  // close_fd calls on descriptors that were not open

  /// Makes the nth call (from 1) of op fail with error number code.
  void fail(const std::string& op, int nth, int code);

  /// Returns a pipeline on this fake; release it with pex_destroy.
  pex_pipeline* create(int pipeline_flags, const char* temp_base = nullptr);
  /// The recorded lines that begin with op.
  std::vector<std::string> calls_of(const std::string& op) const;

  // Used by the table of operations.
  bool should_fail(const std::string& op);
  int new_fd();
  std::string fail_op;
  int fail_nth = 0;
  int fail_code = 0;
  std::vector<std::string> seen;
  int next_fd = 10;
  pid_t next_pid = 100;
};

}  // namespace testutil
