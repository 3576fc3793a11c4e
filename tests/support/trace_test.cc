#include "support/trace.h"

#include <gtest/gtest.h>

#include <string>

#include "common/test_util.h"

namespace {

TEST(trace_line, numbers_as_printf_and_lines_longer_than_its_buffer) {
  std::string many(5000, 'a');
  auto r = testutil::run_in_child([&] {
    trace_enabled = true;
    TRACE("%d %u %lu %zu %c%c %% %s", -3, 4u, 5ul, size_t{6}, ':', '\n', many.c_str());
  });
  EXPECT_EQ(r.err, "-3 4 5 6 :\\012 % " + many + "\n");
}

}  // namespace
