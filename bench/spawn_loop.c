/* Wall time per call of a program: start it COUNT times, one after the other, each time
 * waiting for it, with its standard output thrown away; print the mean nanoseconds per
 * call. posix_spawn costs the same for every program measured, far less than a shell's
 * fork of itself would.
 *
 *   spawn_loop COUNT PROGRAM [ARG...]
 */
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  long count = strtol(argv[1], NULL, 10);
  if (count <= 0) return 2;
  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0 ||
      posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0) != 0) {
    return 1;
  }
  struct timespec start, end;
  clock_gettime(CLOCK_MONOTONIC, &start);
  for (long i = 0; i < count; ++i) {
    pid_t pid;
    int status;
    if (posix_spawn(&pid, argv[2], &actions, NULL, argv + 2, environ) != 0 || waitpid(pid, &status, 0) < 0 ||
        !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      fprintf(stderr, "spawn_loop: %s failed\n", argv[2]);
      return 1;
    }
  }
  clock_gettime(CLOCK_MONOTONIC, &end);
  double ns = (double)(end.tv_sec - start.tv_sec) * 1e9 + (double)(end.tv_nsec - start.tv_nsec);
  printf("%.0f\n", ns / (double)count);
  return 0;
}
