#include "driver/exit_status.h"

#include <cstring>
#include <sys/wait.h>

namespace {

// The traditional wait-status layout that FreeBSD and Linux share: the low seven
// bits hold the terminating signal (0 after an exit, all ones for a stopped child),
// bit 7 the core-dump flag, bits 8-15 the exit status.
constexpr int kSignalMask = 0x7f;
constexpr int kStoppedSignal = 0x7f;
constexpr int kCoreFlag = 0x80;
// A continued child: FreeBSD reports 0x13, Linux 0xffff (which also reads as
// stopped above). Neither is a death by signal 19.
constexpr int kFreeBsdContinued = 0x13;

}  // namespace

int exit_status_from_wait(int status, const char* tool_path, FILE* messages) {
  if (status == 0) return 0;
  int sig = status & kSignalMask;
  if (sig != 0 && sig != kStoppedSignal && status != kFreeBsdContinued && !WIFCONTINUED(status)) {
    fprintf(messages, "%s terminated with signal %d [%s]%s\n", tool_path, sig, strsignal(sig),
            (status & kCoreFlag) != 0 ? ", core dumped" : "");
    return 1;
  }
  if (sig == 0) return (status >> 8) & 0xff;
  return 1;
}
