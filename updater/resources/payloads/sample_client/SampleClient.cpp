// SampleClient - a stand-in client program for the sample payloads: it says which program
// it stands for and which sample build it came from.
#include <cstdio>

int main() {
  std::printf("%s sample client, build %s\n", CLIENT_NAME, __DATE__);
  return 0;
}
