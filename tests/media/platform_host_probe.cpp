// A stand-in for libTOLVANEMedia that shows it was called.
#include <cstdio>

extern "C" void tolvane_media_run()
{
  printf("probe ran\n");
}
