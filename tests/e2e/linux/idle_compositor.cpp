// A Wayland compositor that offers only a seat and the idle notifications, for the
// end-to-end tests of the idle mode. It listens on the socket its argument names
// (under XDG_RUNTIME_DIR), says "ready", and takes its notices from standard input
// (see idle_compositor.h), answering "?" on standard output; it ends with its input.
#include <unistd.h>

#include "idle_compositor.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  tolvane::testing::IdleCompositor compositor(argv[1], true, STDIN_FILENO, STDOUT_FILENO);
  if (!compositor.listening || write(STDOUT_FILENO, "ready\n", 6) != 6) return 1;
  compositor.Run();
  return 0;
}
