// The check of the check: a branch on a secret byte, which valgrind's
// memcheck must report when this runs under it (the ct stage expects this
// program to fail there, and fails itself if it does not).
#include <cstdio>

#include "base/constant_time.h"

int main(int argc, char**) {
  volatile unsigned char secret[1] = {static_cast<unsigned char>(argc)};
  orvo::ct::Classify(const_cast<unsigned char*>(secret), 1);
  if (secret[0] & 1) {
    std::puts("odd");
  } else {
    std::puts("even");
  }
  return 0;
}
