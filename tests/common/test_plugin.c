/* The smallest plugin a tool accepts: onload succeeds. When QUARN_TEST_PLUGIN_MARK
 * names a file, a line naming this very object is appended to it, so that a test can
 * tell which plugin file the tool really loaded. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>

__attribute__((visibility("default"))) int onload(void* transfer_vector) {
  (void)transfer_vector;
  const char* mark = getenv("QUARN_TEST_PLUGIN_MARK");
  if (mark != NULL) {
    Dl_info info;
    FILE* out = fopen(mark, "a");
    if (out != NULL) {
      fprintf(out, "onload %s\n", dladdr((void*)&onload, &info) != 0 ? info.dli_fname : "?");
      fclose(out);
    }
  }
  return 0;
}
