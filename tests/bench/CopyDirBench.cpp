// CopyDirBench - runs the update engine's folder copy on a real tree, for the benchmark
// script (scripts/bench-payload.sh):  copydir_bench SOURCE TARGET
#include "TestHosts.h"
#include "uLDM.h"
#include "uUpdate.h"

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: copydir_bench SOURCE TARGET\n");
    return 2;
  }
  RecordingHost dialogs;
  TLDM ldm(dialogs, BuiltInMessageCatalog());
  try {
    MyCopyDir(argv[1], argv[2]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
