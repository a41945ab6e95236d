// The Deflate decoder (RFC 1951): pulls an entry's bytes through
// NextInputByte, decodes block after block into the 32 KB history window and
// hands the window on through PutWindowBytes when it is full and at the end.
#include "engine.h"

#include <string.h>

uint32_t g_bitBuffer;
unsigned g_bitCount;
unsigned g_windowPos;
uint16_t g_inputByte;

static const uint16_t g_maskBits[17] = {
    0x0000, 0x0001, 0x0003, 0x0007, 0x000F, 0x001F, 0x003F, 0x007F, 0x00FF,
    0x01FF, 0x03FF, 0x07FF, 0x0FFF, 0x1FFF, 0x3FFF, 0x7FFF, 0xFFFF};

// Literal/length symbols 257..287; 286 and 287 carry 99 so that the fixed
// code, which gives them bit patterns, decodes them as invalid.
static const uint16_t g_lengthBase[31] = {
    3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27, 31,
    35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258, 0, 0};
static const uint16_t g_lengthExtra[31] = {
    0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2,
    3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0, 99, 99};
static const uint16_t g_distBase[30] = {
    1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49, 65, 97, 129, 193,
    257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
static const uint16_t g_distExtra[30] = {
    0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6,
    7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
static const unsigned char g_codeLengthOrder[19] = {
    16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

static const int g_literalLookupBits = 9;
static const int g_distanceLookupBits = 6;

#define MAX_LITERAL_CODES  286
#define MAX_DISTANCE_CODES 30
#define FIXED_LITERALS     288
#define CODE_LENGTH_CODES  19

// Past the end of the entry's data the bit reader keeps going on the last
// byte again. A valid stream looks at most one byte beyond its last bit, so
// one more such fetch than that is the mark of a damaged stream, which would
// otherwise decode made-up bits without end.
#define MAX_EMPTY_FETCHES 2

static unsigned s_emptyFetches;

// Stands in for a code without any symbol (every length 0): with lookup width
// 0 every lookup lands on it and fails like any other invalid pattern.
static const HuffmanEntry s_noCode = {HUFT_INVALID, 0, {0}};

// The tables of the block being decoded, kept here so that a run ended by
// AbortRun in the middle of a block can still release them.
static HuffmanEntry *s_codeLengthTable;
static HuffmanEntry *s_literalTable;
static HuffmanEntry *s_distanceTable;

static void ReleaseTable(HuffmanEntry **table)
{
    FreeHuffmanTable(*table);
    *table = nullptr;
}

void ReleaseInflateTables()
{
    ReleaseTable(&s_codeLengthTable);
    ReleaseTable(&s_literalTable);
    ReleaseTable(&s_distanceTable);
}

// Refills the bit buffer to at least n bits; 0 once the stream has run too
// far past the end of its data.
static inline int Need(uint32_t &b, unsigned &k, unsigned n)
{
    while (k < n) {
        if (NextInputByte(&g_inputByte) == 0 && ++s_emptyFetches > MAX_EMPTY_FETCHES)
            return 0;
        b |= (uint32_t)g_inputByte << k;
        k += 8;
    }
    return 1;
}

static inline void Drop(uint32_t &b, unsigned &k, unsigned n)
{
    b >>= n;
    k -= n;
}

static inline unsigned PutByte(unsigned wp, unsigned char c)
{
    g_window[wp++] = c;
    if (wp == WINDOW_SIZE) {
        PutWindowBytes(WINDOW_SIZE);
        wp = 0;
    }
    return wp;
}

static int CopyStoredBlock()
{
    uint32_t b = g_bitBuffer;
    unsigned k = g_bitCount;
    unsigned wp = g_windowPos;

    Drop(b, k, k & 7);
    if (!Need(b, k, 16))
        return 1;
    unsigned len = b & 0xFFFF;
    Drop(b, k, 16);
    if (!Need(b, k, 16))
        return 1;
    if (len != (~b & 0xFFFF))
        return 1;
    Drop(b, k, 16);

    // Through the bit buffer: bytes already fetched come first.
    while (len--) {
        if (!Need(b, k, 8))
            return 1;
        wp = PutByte(wp, (unsigned char)b);
        Drop(b, k, 8);
    }

    g_bitBuffer = b;
    g_bitCount = k;
    g_windowPos = wp;
    return 0;
}

// Copies a match within the window, in pieces that stop at its end. Only a
// run (source less than a piece behind the destination) has to go byte by
// byte, since it must read again what it has just written.
static unsigned CopyMatch(unsigned wp, unsigned src, unsigned len)
{
    unsigned char *window = g_window;
    while (len > 0) {
        src &= WINDOW_SIZE - 1;
        unsigned piece = WINDOW_SIZE - (src > wp ? src : wp);
        if (piece > len)
            piece = len;
        len -= piece;
        if (src < wp && wp - src < piece) {
            unsigned char *d = window + wp;
            const unsigned char *s = window + src;
            for (unsigned n = piece; n > 0; n--)
                *d++ = *s++;
        } else if (src + piece <= wp || wp + piece <= src) {
            memcpy(window + wp, window + src, piece);
        } else {
            memmove(window + wp, window + src, piece);
        }
        wp += piece;
        src += piece;
        if (wp == WINDOW_SIZE) {
            PutWindowBytes(WINDOW_SIZE);
            wp = 0;
        }
    }
    return wp;
}

// Looks up one code: the root slot, then sub-tables through link slots.
// Returns null on a pattern without a symbol or a damaged stream's end.
static inline const HuffmanEntry *DecodeCode(const HuffmanEntry *table, unsigned mask, int bits,
                                             uint32_t &b, unsigned &k)
{
    if (!Need(b, k, (unsigned)bits))
        return nullptr;
    const HuffmanEntry *t = table + (b & mask);
    unsigned e = t->op;
    while (e > HUFT_LITERAL) {
        if (e == HUFT_INVALID)
            return nullptr;
        Drop(b, k, t->bits);
        e -= HUFT_LITERAL;
        if (!Need(b, k, e))
            return nullptr;
        t = t->subTable + (b & g_maskBits[e]);
        e = t->op;
    }
    Drop(b, k, t->bits);
    return t;
}

static int DecodeSymbols(const HuffmanEntry *tl, const HuffmanEntry *td, int bl, int bd)
{
    uint32_t b = g_bitBuffer;
    unsigned k = g_bitCount;
    unsigned wp = g_windowPos;
    unsigned ml = g_maskBits[bl], md = g_maskBits[bd];
    if (!tl)
        tl = &s_noCode;
    if (!td)
        td = &s_noCode;

    for (;;) {
        const HuffmanEntry *t = DecodeCode(tl, ml, bl, b, k);
        if (!t)
            return 1;
        unsigned e = t->op;
        if (e == HUFT_LITERAL) {
            wp = PutByte(wp, (unsigned char)t->value);
            continue;
        }
        if (e == HUFT_END_OF_BLOCK)
            break;

        if (!Need(b, k, e))
            return 1;
        unsigned len = t->value + (b & g_maskBits[e]);
        Drop(b, k, e);

        t = DecodeCode(td, md, bd, b, k);
        if (!t)
            return 1;
        e = t->op;
        if (!Need(b, k, e))
            return 1;
        unsigned src = wp - t->value - (b & g_maskBits[e]);
        Drop(b, k, e);
        wp = CopyMatch(wp, src, len);
    }

    g_bitBuffer = b;
    g_bitCount = k;
    g_windowPos = wp;
    return 0;
}

// The block's symbols, then its tables go, whatever the outcome.
static int DecodeAndRelease(int bl, int bd)
{
    int r = DecodeSymbols(s_literalTable, s_distanceTable, bl, bd);
    ReleaseTable(&s_literalTable);
    ReleaseTable(&s_distanceTable);
    return r ? 1 : 0;
}

static int DecodeFixedBlock()
{
    unsigned lengths[FIXED_LITERALS];
    unsigned s = 0;
    for (; s < 144; s++)
        lengths[s] = 8;
    for (; s < 256; s++)
        lengths[s] = 9;
    for (; s < 280; s++)
        lengths[s] = 7;
    for (; s < FIXED_LITERALS; s++)
        lengths[s] = 8;
    int bl = 7;
    int r = BuildHuffmanTable(lengths, FIXED_LITERALS, 257, g_lengthBase, g_lengthExtra,
                              &s_literalTable, &bl);
    if (r != 0)
        return r;

    // Distance codes 30 and 31 have patterns but no meaning: the incomplete
    // result is expected, and those patterns decode as invalid.
    for (s = 0; s < MAX_DISTANCE_CODES; s++)
        lengths[s] = 5;
    int bd = 5;
    r = BuildHuffmanTable(lengths, MAX_DISTANCE_CODES, 0, g_distBase, g_distExtra,
                          &s_distanceTable, &bd);
    if (r > 1) {
        ReleaseTable(&s_literalTable);
        return r;
    }

    return DecodeAndRelease(bl, bd);
}

// Reads the literal/length and distance code lengths as one sequence, so a
// repeat may run from the one into the other.
static int ReadCodeLengths(const HuffmanEntry *table, int bits, unsigned *lengths, unsigned total)
{
    uint32_t b = g_bitBuffer;
    unsigned k = g_bitCount;
    unsigned mask = g_maskBits[bits];
    unsigned last = 0;
    if (!table)
        table = &s_noCode;

    // Code-length codes are at most 7 bits and the table as wide as the
    // longest, so one lookup decodes each.
    for (unsigned pos = 0; pos < total;) {
        if (!Need(b, k, (unsigned)bits))
            return 1;
        const HuffmanEntry *t = table + (b & mask);
        if (t->op == HUFT_INVALID)
            return 1;
        Drop(b, k, t->bits);
        unsigned v = t->value;
        if (v < 16) {
            lengths[pos++] = last = v;
            continue;
        }
        unsigned extra = v == 16 ? 2 : v == 17 ? 3 : 7;
        unsigned base = v == 18 ? 11 : 3;
        if (!Need(b, k, extra))
            return 1;
        unsigned r = base + (b & g_maskBits[extra]);
        Drop(b, k, extra);
        if (v != 16)
            last = 0;
        if (pos + r > total)
            return 1;
        while (r--)
            lengths[pos++] = last;
    }

    g_bitBuffer = b;
    g_bitCount = k;
    return 0;
}

static int ReadDynamicHeader(unsigned *nl, unsigned *nd, unsigned *codeLengths)
{
    uint32_t b = g_bitBuffer;
    unsigned k = g_bitCount;
    if (!Need(b, k, 14))
        return 1;
    *nl = 257 + (b & 0x1F);
    Drop(b, k, 5);
    *nd = 1 + (b & 0x1F);
    Drop(b, k, 5);
    unsigned nb = 4 + (b & 0xF);
    Drop(b, k, 4);
    if (*nl > MAX_LITERAL_CODES || *nd > MAX_DISTANCE_CODES)
        return 1;

    for (unsigned j = 0; j < CODE_LENGTH_CODES; j++)
        codeLengths[g_codeLengthOrder[j]] = 0;
    for (unsigned j = 0; j < nb; j++) {
        if (!Need(b, k, 3))
            return 1;
        codeLengths[g_codeLengthOrder[j]] = b & 7;
        Drop(b, k, 3);
    }

    g_bitBuffer = b;
    g_bitCount = k;
    return 0;
}

static int DecodeDynamicBlock()
{
    unsigned nl, nd;
    unsigned codeLengths[CODE_LENGTH_CODES];
    int r = ReadDynamicHeader(&nl, &nd, codeLengths);
    if (r != 0)
        return r;

    int bb = 7;
    r = BuildHuffmanTable(codeLengths, CODE_LENGTH_CODES, CODE_LENGTH_CODES, nullptr, nullptr,
                          &s_codeLengthTable, &bb);
    unsigned lengths[MAX_LITERAL_CODES + MAX_DISTANCE_CODES];
    if (r == 0)
        r = ReadCodeLengths(s_codeLengthTable, bb, lengths, nl + nd);
    ReleaseTable(&s_codeLengthTable);
    if (r != 0)
        return r;

    int bl = g_literalLookupBits;
    r = BuildHuffmanTable(lengths, nl, 257, g_lengthBase, g_lengthExtra, &s_literalTable, &bl);
    if (r != 0) {
        ReleaseTable(&s_literalTable);
        return r;
    }
    int bd = g_distanceLookupBits;
    r = BuildHuffmanTable(lengths + nl, nd, 0, g_distBase, g_distExtra, &s_distanceTable, &bd);
    if (r != 0) {
        ReleaseTable(&s_distanceTable);
        ReleaseTable(&s_literalTable);
        return r;
    }

    return DecodeAndRelease(bl, bd);
}

static int DecodeBlock(int &last)
{
    uint32_t b = g_bitBuffer;
    unsigned k = g_bitCount;
    if (!Need(b, k, 3))
        return 1;
    last = b & 1;
    unsigned type = (b >> 1) & 3;
    Drop(b, k, 3);
    g_bitBuffer = b;
    g_bitCount = k;

    switch (type) {
    case 0:
        return CopyStoredBlock();
    case 1:
        return DecodeFixedBlock();
    case 2:
        return DecodeDynamicBlock();
    default:
        return 2;
    }
}

int InflateEntry()
{
    g_windowPos = 0;
    g_bitCount = 0;
    g_bitBuffer = 0;
    s_emptyFetches = 0;

    int last;
    do {
        int r = DecodeBlock(last);
        if (r != 0)
            return r;
    } while (!last);

    PutWindowBytes(g_windowPos);
    return 0;
}
