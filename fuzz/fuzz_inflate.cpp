// Arbitrary bytes as one entry's Deflate data: the decoder must end, stay
// inside its buffers and give back every table it built.
#include "engine.h"
#include "inflate_harness.h"

#include <stdlib.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    HarnessStart(std::vector<unsigned char>(data, data + size));
    InflateEntry();
    if (g_harness.liveBlocks != 0 || g_harness.fillCalls > 3)
        abort();
    return 0;
}
