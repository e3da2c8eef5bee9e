// Direct serial link: not wired yet, every connection attempt fails.
#include "serial/DirectTransport.h"

int DirectConnect(int) { return 0; }
int DirectSend(const unsigned char*, int) { return 1; }
void DirectHangup() {}
