// Prints the version record read back from its own file.
#include <cstdio>

#include "version.h"

int main(int argc, char** argv) {
  auto v = ReadVersionRecord("/proc/self/exe");
  if (!v) {
    std::puts("none");
    return 1;
  }
  std::printf("%u.%u.%u.%u\n", (*v)[0], (*v)[1], (*v)[2], (*v)[3]);
  return 0;
}
