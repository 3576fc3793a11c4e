#include "driver/trace.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "quarn_config.h"
#include "search/dir_list.h"
#include "support/char_class.h"
#include "support/checked_alloc.h"
#include "support/join_strings.h"

bool trace_enabled = false;

namespace {

const char* configured_because(relocate_note note) {
  switch (note) {
    case RELOCATE_NO_NAME:
      return "no program name to relocate from";
    case RELOCATE_NOT_ON_PATH:
      return "the program was not found along PATH";
    case RELOCATE_NO_PATH:
      return "PATH is not set to find the program along";
    case RELOCATE_UNRESOLVED:
      return "the program's name names no file";
    case RELOCATE_IN_BIN_DIR:
      return "the program file lies in the configured bin directory ";
    case RELOCATE_NO_SHARED_ROOT:
      return "the configured bin directory and this one share no root";
    case RELOCATE_NO_MEMORY:
    default:
      return "out of memory";
  }
}

// An argument is shown as it is unless a reader could not tell where it ends or what it
// holds: then in double quotes, with '"' and '\' escaped and control bytes in octal, so
// that the whole command stays on one line.
bool needs_quotes(const char* arg) {
  if (*arg == '\0') return true;
  for (const char* p = arg; *p != '\0'; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (char_has_class(c, CC_SPACE | CC_CNTRL) || c == '"' || c == '\'' || c == '\\') return true;
  }
  return false;
}

// Writes arg as the trace shows it to out, unless out is null; returns its length.
size_t shown_argument(const char* arg, char* out) {
  size_t n = 0;
  auto put = [&](int c) {
    if (out != nullptr) out[n] = static_cast<char>(c);
    ++n;
  };
  bool quoted = needs_quotes(arg);
  if (quoted) put('"');
  for (const char* p = arg; *p != '\0'; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (quoted && (c == '"' || c == '\\')) {
      put('\\');
      put(c);
    } else if (quoted && char_has_class(c, CC_CNTRL)) {
      put('\\');
      put('0' + (c >> 6));
      put('0' + ((c >> 3) & 7));
      put('0' + (c & 7));
    } else {
      put(c);
    }
  }
  if (quoted) put('"');
  return n;
}

// Writes label and the arguments, each after a space, as one line in one piece: stderr
// is unbuffered, and a command may have a great many arguments.
void write_command(const char* label, char* const* argv) {
  size_t label_len = strlen(label);
  size_t size = label_len + 1;
  for (char* const* arg = argv; *arg != nullptr; ++arg) size += 1 + shown_argument(*arg, nullptr);
  char* line = static_cast<char*>(checked_alloc(size));
  memcpy(line, label, label_len);
  size_t n = label_len;
  for (char* const* arg = argv; *arg != nullptr; ++arg) {
    line[n++] = ' ';
    n += shown_argument(*arg, line + n);
  }
  line[n++] = '\n';
  fwrite(line, 1, n, stderr);
  free(line);
}

}  // namespace

void trace_init() {
  const char* value = getenv("QUARN_TRACE");
  if (value == nullptr || *value == '\0') return;
  trace_enabled = true;
  set_search_trace(true);
}

void trace_program_file(const char* prog_name, bool from_exec_prefix, const char* program_file,
                        relocate_note note) {
  fprintf(stderr, "Finding the installation from '%s'%s\n", prog_name,
          from_exec_prefix ? " (from QUARN_EXEC_PREFIX)" : "");
  if (program_file == nullptr) return;
  const char* how = note == RELOCATE_NOT_ON_PATH ? " (not found along PATH, taken as it stands)"
                    : note == RELOCATE_NO_PATH   ? " (PATH is not set, taken as it stands)"
                                                 : "";
  fprintf(stderr, "  - program file, links resolved: %s%s\n", program_file, how);
}

void trace_install_dir(const char* what, const char* dir, relocate_note note) {
  if (note == RELOCATE_OK) {
    fprintf(stderr, "  - %s: %s (relocated)\n", what, dir);
    return;
  }
  fprintf(stderr, "  - %s: %s (configured: %s%s)\n", what, dir, configured_because(note),
          note == RELOCATE_IN_BIN_DIR ? CONFIG_BIN_DIR : "");
}

void trace_command(char* const* tool_argv, const char* response_file) {
  fprintf(stderr, "Starting '%s'\n", tool_argv[0]);
  write_command("  - command line:", tool_argv);
  if (response_file == nullptr) {
    fprintf(stderr, "  - no response file: the arguments are passed as they are\n");
    return;
  }
  char* label = join_strings("  - carried by the response file ", response_file, ", started as:", nullptr);
  char* at_file = join_strings("@", response_file, nullptr);
  char* started[] = {tool_argv[0], at_file, nullptr};
  write_command(label, started);
  free(at_file);
  free(label);
}
