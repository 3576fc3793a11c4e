// argv_parse on arbitrary text; what it reads must survive a write and a second read.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "argv/argv_parse.h"
#include "argv/argv_vector.h"
#include "common/arg_vector.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A NUL inside the input ends the text, as it does in a response file.
  std::string text(reinterpret_cast<const char*>(data), size);
  char** argv = argv_parse(text.c_str());
  if (argv == nullptr) abort();

  // Quotes and escapes only drop bytes: the arguments together never outgrow the text.
  size_t total = 0;
  for (char** arg = argv; *arg != nullptr; ++arg) total += strlen(*arg);
  if (total > strlen(text.c_str())) abort();

  int status = 0;
  std::string written = testutil::write_to_memory(argv, &status);
  if (status != 0) abort();
  char** again = argv_parse(written.c_str());
  if (testutil::to_strings(again) != testutil::to_strings(argv)) {
    fprintf(stderr, "parse, write and parse again changed the vector\n");
    abort();
  }
  argv_release(again);
  argv_release(argv);
  return 0;
}
