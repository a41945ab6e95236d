// Lookup tables for the canonical Huffman codes of Deflate: a root table
// indexed by a fixed number of input bits, and sub-tables for longer codes.
// Every table of one build lives in its own heap block, and the blocks are
// chained through a cell in front of each table so that one walk frees them.
#include "engine.h"

#include <stdio.h>

#define MAX_CODE_BITS 16
#define MAX_SYMBOLS   288

// What one build keeps while it places codes: the chain tail, and for each
// open table level its slots, its width and the code bits that lead to it.
struct TableBuild {
    HuffmanEntry *root;
    HuffmanEntry *tail;
    HuffmanEntry *level[MAX_CODE_BITS + 1];
    int width[MAX_CODE_BITS + 1];
    unsigned prefix[MAX_CODE_BITS + 1];
};

void FreeHuffmanTable(HuffmanEntry *table)
{
    while (table) {
        HuffmanEntry *cell = table - 1;
        HuffmanEntry *next = cell->subTable;
        EngineFree(cell);
        table = next;
    }
}

// Allocates a table of 2^width slots behind its chain cell and links it
// after the previous table of the build.
static HuffmanEntry *NewTable(TableBuild *tb, int width)
{
    size_t slots = ((size_t)1 << width) + 1;
    HuffmanEntry *block = (HuffmanEntry *)EngineAlloc(slots * sizeof(HuffmanEntry));
    if (!block)
        return nullptr;
    block->subTable = nullptr;
    if (tb->tail)
        (tb->tail - 1)->subTable = block + 1;
    else
        tb->root = block + 1;
    tb->tail = block + 1;
    return block + 1;
}

// Width of a table opened at depth w for a code of length k, a codes of that
// length still to place: as narrow as the codes under its prefix allow, so
// that short tails of the code do not cost a full-width table. A table that
// must hold links (its codes run deeper than lookup bits) gets the full width.
static int SubTableWidth(const unsigned *count, int k, int w, int kmax, int lookup, unsigned a)
{
    int z = kmax - w < lookup ? kmax - w : lookup;
    int j = k - w;
    if (j >= z)
        return z;
    if ((1u << j) > a) {
        unsigned left = (1u << j) - a;
        while (++j < z) {
            left <<= 1;
            if (left <= count[w + j])
                break;
            left -= count[w + j];
        }
    }
    return j;
}

// The slot for one code: a placeholder (no symbol) or symbol v.
static HuffmanEntry MakeSlot(int bits, int placeholder, unsigned v, unsigned simpleCount,
                             const uint16_t *baseValues, const uint16_t *extraBits)
{
    HuffmanEntry slot;
    slot.subTable = nullptr;
    slot.bits = (uint8_t)bits;
    if (placeholder) {
        slot.op = HUFT_INVALID;
    } else if (v < simpleCount) {
        slot.op = v < 256 ? HUFT_LITERAL : HUFT_END_OF_BLOCK;
        slot.value = (uint16_t)v;
    } else {
        slot.op = (uint8_t)extraBits[v - simpleCount];
        slot.value = baseValues[v - simpleCount];
    }
    return slot;
}

static void ReportNoMemory()
{
    fputs("\n*** inflate out of memory *** ", stderr);
}

int BuildHuffmanTable(const unsigned *lengths, unsigned count, unsigned simpleCount,
                      const uint16_t *baseValues, const uint16_t *extraBits,
                      HuffmanEntry **table, int *lookupBits)
{
    unsigned c[MAX_CODE_BITS + 1] = {0};
    for (unsigned s = 0; s < count; s++)
        c[lengths[s]]++;
    if (c[0] == count) {
        *table = nullptr;
        *lookupBits = 0;
        return 0;
    }

    int kmin = 1, kmax = MAX_CODE_BITS;
    while (c[kmin] == 0)
        kmin++;
    while (c[kmax] == 0)
        kmax--;
    int lookup = *lookupBits;
    if (lookup < kmin)
        lookup = kmin;
    if (lookup > kmax)
        lookup = kmax;
    *lookupBits = lookup;

    // Count the kmax-bit patterns no symbol takes; they become placeholder
    // codes after the real ones, so every pattern a lookup meets is defined.
    int unused = 1 << kmin;
    for (int len = kmin; len < kmax; len++) {
        unused -= (int)c[len];
        if (unused < 0)
            return 2;
        unused <<= 1;
    }
    unused -= (int)c[kmax];
    if (unused < 0)
        return 2;

    // Symbols by length, then by number: the canonical code order.
    unsigned order[MAX_SYMBOLS];
    unsigned next[MAX_CODE_BITS + 1];
    unsigned realCodes = count - c[0];
    next[1] = 0;
    for (int len = 1; len < MAX_CODE_BITS; len++)
        next[len + 1] = next[len] + c[len];
    for (unsigned s = 0; s < count; s++)
        if (lengths[s])
            order[next[lengths[s]]++] = s;
    c[kmax] += (unsigned)unused;

    TableBuild tb;
    tb.root = tb.tail = nullptr;
    tb.prefix[0] = 0;
    int h = -1, w = -lookup;
    unsigned code = 0;          // current code, first received bit in bit 0
    unsigned placed = 0;
    for (int k = kmin; k <= kmax; k++) {
        for (unsigned a = c[k]; a > 0; a--) {
            while (k > w + lookup) {
                h++;
                w += lookup;
                int j = SubTableWidth(c, k, w, kmax, lookup, a);
                HuffmanEntry *t = NewTable(&tb, j);
                if (!t) {
                    FreeHuffmanTable(tb.root);
                    ReportNoMemory();
                    *table = nullptr;
                    return 3;
                }
                tb.level[h] = t;
                tb.width[h] = j;
                if (h > 0) {
                    tb.prefix[h] = code & ((1u << w) - 1);
                    HuffmanEntry *link = tb.level[h - 1] + (code >> (w - lookup));
                    link->op = (uint8_t)(HUFT_LITERAL + j);
                    link->bits = (uint8_t)lookup;
                    link->subTable = t;
                }
            }

            int placeholder = placed >= realCodes;
            HuffmanEntry slot = MakeSlot(k - w, placeholder, placeholder ? 0 : order[placed],
                                         simpleCount, baseValues, extraBits);
            placed++;
            unsigned size = 1u << tb.width[h];
            for (unsigned x = code >> w; x < size; x += 1u << (k - w))
                tb.level[h][x] = slot;

            // Next code of this length in received-bit order: a binary
            // increment that carries from the last received bit downwards.
            unsigned bit = 1u << (k - 1);
            while (code & bit) {
                code ^= bit;
                bit >>= 1;
            }
            code ^= bit;

            while ((code & ((1u << w) - 1)) != tb.prefix[h]) {
                h--;
                w -= lookup;
            }
        }
    }

    *table = tb.root;
    return unused > 0 && kmax > 1 ? 1 : 0;
}
