// What the Huffman tables and the Deflate decoder link against in place of
// the engine's run and stream code.
#include "inflate_harness.h"
#include "engine.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <set>

InflateHarness g_harness;

static unsigned char s_window[WINDOW_ALLOC];
unsigned char *g_window = s_window;
unsigned char *g_inPtr;
unsigned g_inAvail;

static std::set<void *> s_blocks;

void HarnessStart(const std::vector<unsigned char> &input, bool keepWindow)
{
    g_harness.input = input;
    g_harness.output.clear();
    g_harness.putCalls.clear();
    g_harness.fillCalls = 0;
    g_inPtr = g_harness.input.data();
    g_inAvail = (unsigned)g_harness.input.size();
    if (!keepWindow)
        memset(s_window, 0, sizeof s_window);
}

unsigned FillInput()
{
    g_harness.fillCalls++;
    return 0;
}

void PutWindowBytes(unsigned n)
{
    if (n > WINDOW_SIZE)
        abort();
    g_harness.putCalls.push_back(n);
    if (g_harness.throwOnPut)
        throw HarnessAbort();
    g_harness.output.insert(g_harness.output.end(), g_window, g_window + n);
}

void FlushOutput()
{
}

// Fresh blocks are filled with a pattern no slot uses, so a slot left
// unwritten shows up in the table checks.
void *EngineAlloc(size_t size)
{
    if (++g_harness.allocCalls == g_harness.failAllocation)
        return nullptr;
    void *block = malloc(size);
    if (!block)
        abort();
    memset(block, 0xA5, size);
    s_blocks.insert(block);
    g_harness.allocSizes.push_back(size);
    g_harness.liveBlocks++;
    return block;
}

void EngineFree(void *block)
{
    if (!block)
        return;
    if (s_blocks.erase(block) != 1) {
        fprintf(stderr, "EngineFree of a block not held: %p\n", block);
        abort();
    }
    g_harness.liveBlocks--;
    free(block);
}
