/* A stand-in for ar, nm or ranlib that records what it was given and ends as told.
 *
 *   FAKE_TOOL_ARGV     file that receives every argument, each followed by a NUL byte
 *   FAKE_TOOL_ATFILE   file that receives the bytes of the first readable @-file argument
 *   FAKE_TOOL_LOAD     when set, dlopen the path after "--plugin" and call its onload
 *   FAKE_TOOL_CAT      when set, copy standard input to standard output
 *   FAKE_TOOL_FDS      when set, then write "fds:" and each open descriptor above 2 below
 *                      256 (each after a space) as one line to standard output
 *   FAKE_TOOL_OUT_MB   write this many MiB of a byte pattern to standard output
 *   FAKE_TOOL_STDERR   text written to standard error
 *   FAKE_TOOL_SIGNAL   die by this signal number
 *   FAKE_TOOL_READY_FD catch the signals that end a build step, write our pid (a pid_t) to
 *                      this descriptor and wait up to a minute; a caught signal's number is
 *                      written as text to the file FAKE_TOOL_SIGNALED before the signal ends us
 *   FAKE_TOOL_OWN_GROUP with FAKE_TOOL_READY_FD: first leave the caller's process group
 *   FAKE_TOOL_EXIT     exit with this status (default 0)
 */
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

/* Copies from into to; false when from cannot be read. */
static int copy_file(const char* from, const char* to) {
  FILE* in = fopen(from, "rb");
  if (in == NULL) return 0;
  FILE* out = fopen(to, "wb");
  if (out == NULL) exit(120);
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, in)) > 0) fwrite(buf, 1, n, out);
  fclose(in);
  if (fclose(out) != 0) exit(120);
  return 1;
}

static const char* signaled_file;

static void on_signal(int sig) {
  char text[16];
  int n = sizeof text;
  int value = sig;
  do {
    text[--n] = (char)('0' + value % 10);
    value /= 10;
  } while (value > 0);
  int fd = open(signaled_file, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd >= 0) {
    if (write(fd, text + n, sizeof text - (size_t)n) < 0) _exit(125);
    close(fd);
  }
  signal(sig, SIG_DFL);
  raise(sig);
}

static void write_all(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n <= 0) exit(121);
    data += n;
    size -= (size_t)n;
  }
}

int main(int argc, char** argv) {
  const char* record = getenv("FAKE_TOOL_ARGV");
  if (record != NULL) {
    FILE* out = fopen(record, "wb");
    if (out == NULL) return 122;
    for (int i = 0; i < argc; ++i) fwrite(argv[i], 1, strlen(argv[i]) + 1, out);
    if (fclose(out) != 0) return 122;
  }
  const char* atfile = getenv("FAKE_TOOL_ATFILE");
  for (int i = 1; atfile != NULL && i < argc; ++i) {
    if (argv[i][0] == '@' && copy_file(argv[i] + 1, atfile)) break;
  }
  if (getenv("FAKE_TOOL_LOAD") != NULL) {
    for (int i = 1; i + 1 < argc; ++i) {
      if (strcmp(argv[i], "--plugin") != 0) continue;
      void* handle = dlopen(argv[i + 1], RTLD_NOW);
      if (handle == NULL) {
        fprintf(stderr, "fake tool: cannot load %s: %s\n", argv[i + 1], dlerror());
        return 123;
      }
      int (*onload)(void*) = (int (*)(void*))dlsym(handle, "onload");
      if (onload == NULL || onload(NULL) != 0) return 124;
      break;
    }
  }
  if (getenv("FAKE_TOOL_CAT") != NULL) {
    char buf[65536];
    ssize_t n;
    while ((n = read(0, buf, sizeof buf)) > 0) write_all(1, buf, (size_t)n);
  }
  if (getenv("FAKE_TOOL_FDS") != NULL) {
    char line[1024] = "fds:";
    size_t used = strlen(line);
    for (int fd = 3; fd < 256; ++fd) {
      if (fcntl(fd, F_GETFD) != -1) used += (size_t)snprintf(line + used, sizeof line - used, " %d", fd);
    }
    line[used++] = '\n';
    write_all(1, line, used);
  }
  const char* mb = getenv("FAKE_TOOL_OUT_MB");
  if (mb != NULL) {
    char block[1 << 16];
    for (size_t i = 0; i < sizeof block; ++i) block[i] = (char)(i * 7 + i / 256);
    for (long i = atol(mb) * 16; i > 0; --i) write_all(1, block, sizeof block);
  }
  const char* err = getenv("FAKE_TOOL_STDERR");
  if (err != NULL) write_all(2, err, strlen(err));
  const char* sig = getenv("FAKE_TOOL_SIGNAL");
  if (sig != NULL) {
    signal(atoi(sig), SIG_DFL);
    raise(atoi(sig));
  }
  const char* ready = getenv("FAKE_TOOL_READY_FD");
  if (ready != NULL) {
    signaled_file = getenv("FAKE_TOOL_SIGNALED");
    if (getenv("FAKE_TOOL_OWN_GROUP") != NULL && setpgid(0, 0) != 0) return 126;
    const int caught[] = {SIGHUP,  SIGINT,  SIGQUIT,   SIGTERM, SIGPIPE, SIGALRM,
                          SIGUSR1, SIGUSR2, SIGVTALRM, SIGPROF, SIGXCPU};
    for (size_t i = 0; i < sizeof caught / sizeof caught[0]; ++i) signal(caught[i], on_signal);
    pid_t self = getpid();
    write_all(atoi(ready), (const char*)&self, sizeof self);
    close(atoi(ready));
    sleep(60); /* a signal that never comes must not keep a test waiting for ever */
    return 125;
  }
  const char* status = getenv("FAKE_TOOL_EXIT");
  return status != NULL ? atoi(status) : 0;
}
