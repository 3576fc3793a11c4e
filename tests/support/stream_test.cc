#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "support/stream.h"
#include "common/test_util.h"

namespace {

TEST(stream_open_unlocked, failure_is_fopens_own) {
  testutil::scoped_temp_dir dir;
  struct {
    std::string name;
    const char* mode;
  } cases[] = {
      {dir / "missing/file", "r"},
      {dir / "missing", "r"},
      {dir.path(), "w"},  // a directory cannot be opened for writing
  };
  for (const auto& c : cases) {
    errno = 0;
    FILE* expected = fopen(c.name.c_str(), c.mode);
    int expected_errno = errno;
    ASSERT_EQ(expected, nullptr) << c.name;
    errno = 0;
    EXPECT_EQ(stream_open_unlocked(c.name.c_str(), c.mode), nullptr) << c.name;
    EXPECT_EQ(errno, expected_errno) << c.name;
    EXPECT_NE(errno, 0) << c.name;
  }
}

TEST(stream_open_unlocked, openers_pass_through) {
  testutil::scoped_temp_dir dir;
  FILE* out = stream_open_unlocked((dir / "a").c_str(), "w");
  ASSERT_NE(out, nullptr);
  stream_unlock(out);
  std_streams_unlock();
  fputs("first", out);
  // freopen hands back the same stream, now on the other file.
  EXPECT_EQ(stream_reopen_unlocked((dir / "b").c_str(), "w", out), out);
  fputs("second", out);
  fclose(out);
  EXPECT_EQ(testutil::read_file(dir / "a"), "first");
  EXPECT_EQ(testutil::read_file(dir / "b"), "second");

  int fd = open((dir / "a").c_str(), O_RDONLY);
  FILE* in = stream_fdopen_unlocked(fd, "r");
  ASSERT_NE(in, nullptr);
  EXPECT_EQ(fileno(in), fd);
  fclose(in);

  // Whether fdopen looks at the descriptor is the C library's choice (glibc and FreeBSD
  // refuse -1 with EBADF, musl does not look); whichever it makes passes through.
  errno = 0;
  FILE* plain = fdopen(-1, "r");
  int plain_errno = errno;
  errno = 0;
  FILE* ours = stream_fdopen_unlocked(-1, "r");
  EXPECT_EQ(ours == nullptr, plain == nullptr);
  if (plain == nullptr) {
    EXPECT_EQ(errno, plain_errno);
  }
  for (FILE* stream : {plain, ours}) {
    if (stream != nullptr) fclose(stream);
  }
}

}  // namespace
