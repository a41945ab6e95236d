// Stand-ins for the engine's data streams and heap, so that the Huffman
// tables and the Deflate decoder can run alone: the whole input is handed
// over up front, the output and the size of every hand-over are recorded,
// and allocations are counted and can be made to fail.
#ifndef PARVEK_INFLATE_HARNESS_H
#define PARVEK_INFLATE_HARNESS_H

#include <stddef.h>
#include <stdint.h>
#include <vector>

struct InflateHarness {
    std::vector<unsigned char> input;
    std::vector<unsigned char> output;
    std::vector<unsigned> putCalls;     // n of every PutWindowBytes(n)
    unsigned fillCalls = 0;             // FillInput calls, all of them past the end
    std::vector<size_t> allocSizes;     // sizes of the successful allocations
    unsigned failAllocation = 0;        // 1-based number of the allocation to fail; 0: none
    unsigned allocCalls = 0;
    long liveBlocks = 0;
    int throwOnPut = 0;                 // PutWindowBytes throws, as AbortRun leaves a block
};

extern InflateHarness g_harness;

struct HarnessAbort {};

// Starts a fresh entry over input; the window is zeroed unless keepWindow.
void HarnessStart(const std::vector<unsigned char> &input, bool keepWindow = false);

#endif
