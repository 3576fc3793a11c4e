#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "driver/exit_status.h"

namespace {

std::string decode(int status, int* exit_status) {
  char* text = nullptr;
  size_t size = 0;
  FILE* messages = open_memstream(&text, &size);
  *exit_status = exit_status_from_wait(status, "/t/ar", messages);
  fclose(messages);
  std::string out(text, size);
  free(text);
  return out;
}

std::string signal_message(int sig, bool core) {
  return "/t/ar terminated with signal " + std::to_string(sig) + " [" + strsignal(sig) + "]" +
         (core ? ", core dumped" : "") + "\n";
}

TEST(exit_status_from_wait, exit_codes_pass_through_silently) {
  for (int code : {0, 1, 3, 127, 255}) {
    int status = -1;
    EXPECT_EQ(decode(code << 8, &status), "");
    EXPECT_EQ(status, code);
  }
}

TEST(exit_status_from_wait, death_by_signal_is_reported_with_status_1) {
  const struct {
    int status;
    int sig;
    bool core;
  } cases[] = {
      {SIGKILL, SIGKILL, false},
      {SIGSEGV | 0x80, SIGSEGV, true},
      {SIGTERM, SIGTERM, false},
      {SIGABRT | 0x80, SIGABRT, true},
  };
  for (const auto& c : cases) {
    int status = -1;
    EXPECT_EQ(decode(c.status, &status), signal_message(c.sig, c.core));
    EXPECT_EQ(status, 1);
  }
}

TEST(exit_status_from_wait, stopped_and_continued_give_1_without_a_message) {
  const int cases[] = {
      (SIGSTOP << 8) | 0x7f,  // stopped
      (SIGTSTP << 8) | 0x7f,
      0x13,    // continued, as FreeBSD reports it
      0xffff,  // continued, as Linux reports it
  };
  for (int raw : cases) {
    int status = -1;
    EXPECT_EQ(decode(raw, &status), "") << std::hex << raw;
    EXPECT_EQ(status, 1) << std::hex << raw;
  }
}

}  // namespace
