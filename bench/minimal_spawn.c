/* The floor for the wrappers' start-up cost: start TOOL with "--plugin PLUGIN" in front
 * of the remaining arguments, wait, and exit with its status. No search, no checks.
 *
 *   minimal_spawn TOOL PLUGIN [ARG...]
 */
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>

extern char** environ;

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  char** args = calloc((size_t)argc + 1, sizeof(char*));
  if (args == NULL) return 1;
  args[0] = argv[1];
  args[1] = "--plugin";
  args[2] = argv[2];
  for (int i = 3; i < argc; ++i) args[i] = argv[i];
  pid_t pid;
  if (posix_spawnp(&pid, argv[1], NULL, NULL, args, environ) != 0) return 1;
  int status;
  if (waitpid(pid, &status, 0) < 0) return 1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
