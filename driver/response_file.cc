#include "driver/response_file.h"

#include <cstdio>
#include <cstdlib>

#include "argv/argv_write.h"
#include "support/join_strings.h"
#include "support/stream.h"

namespace {

[[noreturn]] void fail(const char* what, const char* name) {
  fprintf(stderr, "%s temporary file %s\n", what, name);
  exit(1);
}

}  // namespace

void response_file_write(const char* name, char* const* tool_argv, char* pass_through[3]) {
  FILE* out = stream_open_unlocked(name, "w");
  if (out == nullptr) fail("Cannot open", name);
  if (argv_write_quoted(tool_argv + 1, out) != 0) fail("Cannot write to", name);
  if (fclose(out) == EOF) fail("Cannot close", name);
  pass_through[0] = tool_argv[0];
  pass_through[1] = join_strings("@", name, nullptr);
  pass_through[2] = nullptr;
}
