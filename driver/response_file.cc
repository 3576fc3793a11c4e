#include "driver/response_file.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "argv/argv_write.h"
#include "driver/signal_relay.h"
#include "support/join_strings.h"
#include "support/stream.h"
#include "support/temp_file.h"

namespace {

[[noreturn]] void fail(const char* what, const char* name) {
  fprintf(stderr, "%s temporary file %s\n", what, name);
  exit(1);
}

}  // namespace

void response_file_create(response_file* file) {
  // Held back, a signal cannot fall between the file's creation and the relay's knowing it.
  relay_hold();
  file->name = temp_file_open(nullptr, "", &file->fd);
  relay_set_litter(file->name);
  relay_release();
}

void response_file_write(response_file* file, char* const* tool_argv, char* pass_through[3]) {
  // Through the descriptor mkstemps opened: the name may point elsewhere by now.
  FILE* out = stream_fdopen_unlocked(file->fd, "w");
  if (out == nullptr) fail("Cannot open", file->name);
  struct sigaction file_size_action;
  relay_ignore_file_size_signal(&file_size_action);
  if (argv_write_quoted(tool_argv + 1, out) != 0) fail("Cannot write to", file->name);
  if (fclose(out) == EOF) fail("Cannot close", file->name);
  file->fd = -1;
  relay_restore_file_size_signal(&file_size_action);
  pass_through[0] = tool_argv[0];
  pass_through[1] = join_strings("@", file->name, nullptr);
  pass_through[2] = nullptr;
}

void response_file_remove(response_file* file) {
  if (file->name == nullptr) return;
  // Held back, a signal cannot remove the name a second time, when another process may
  // have made a new file of that name.
  relay_hold();
  unlink(file->name);
  relay_set_litter(nullptr);
  relay_release();
}
