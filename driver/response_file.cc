#include "driver/response_file.h"

#include <csignal>
#include <cstdio>
#include <unistd.h>

#include "argv/argv_write.h"
#include "driver/signal_relay.h"
#include "support/checked_alloc.h"
#include "support/join_strings.h"
#include "support/stream.h"
#include "support/temp_file.h"

void response_file_create(response_file* file) {
  // Blocked, a signal cannot fall between the file's creation and the relay's knowing it.
  relay_block();
  file->name = temp_file_open(nullptr, "", &file->fd);
  relay_set_litter(file->name);
  relay_unblock();
}

void response_file_write(response_file* file, char* const* tool_argv, char* pass_through[3]) {
  // Through the descriptor mkstemps opened: the name may point elsewhere by now.
  // On failure the file is litter already: exit_with_message removes it.
  FILE* out = stream_fdopen_unlocked(file->fd, "w");
  if (out == nullptr) exit_with_message("Cannot open temporary file %s\n", file->name);
  // A file-size limit then fails the write with EFBIG instead of killing the wrapper; the
  // tool gets the caller's disposition back.
  struct sigaction ignore = {}, saved;
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGXFSZ, &ignore, &saved);
  if (argv_write_quoted(tool_argv + 1, out) != 0) exit_with_message("Cannot write to temporary file %s\n", file->name);
  if (fclose(out) == EOF) exit_with_message("Cannot close temporary file %s\n", file->name);
  file->fd = -1;
  sigaction(SIGXFSZ, &saved, nullptr);
  pass_through[0] = tool_argv[0];
  pass_through[1] = join_strings("@", file->name, nullptr);
  pass_through[2] = nullptr;
}

void response_file_remove(response_file* file) {
  if (file->name == nullptr) return;
  relay_remove_litter();
  file->name = nullptr;
}
