// Any vector argv_write_quoted writes reads back the same: the input bytes, split at
// NUL bytes, are the arguments (so every byte but NUL occurs in them).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "argv/argv_parse.h"
#include "argv/argv_vector.h"
#include "common/arg_vector.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  testutil::strings args;
  if (size > 0) {
    std::string input(reinterpret_cast<const char*>(data), size);
    size_t start = 0;
    for (size_t nul; (nul = input.find('\0', start)) != std::string::npos; start = nul + 1) {
      args.push_back(input.substr(start, nul - start));
    }
    args.push_back(input.substr(start));
  }
  testutil::arg_vector argv(args);
  int status = 0;
  std::string text = testutil::write_to_memory(argv.get(), &status);
  if (status != 0) abort();
  char** back = argv_parse(text.c_str());
  if (testutil::to_strings(back) != args) {
    fprintf(stderr, "the text written does not read back as the vector\n");
    abort();
  }
  argv_release(back);
  return 0;
}
