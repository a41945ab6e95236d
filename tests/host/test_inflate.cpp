// The Huffman table builder and the Deflate decoder, run alone over the
// stand-in streams of inflate_harness.cpp. Streams are either written bit by
// bit here or made by zlib, which serves only as a reference encoder.
#include "engine.h"
#include "inflate_harness.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;
using Lengths = std::vector<unsigned>;

// ---- writing Deflate streams ------------------------------------------------

struct BitWriter {
    Bytes bytes;
    uint32_t acc = 0;
    unsigned n = 0;

    // A value of count bits, least significant bit first.
    void Put(uint32_t value, unsigned count)
    {
        for (unsigned i = 0; i < count; i++) {
            acc |= ((value >> i) & 1u) << n;
            if (++n == 8)
                Flush();
        }
    }
    // A Huffman code: most significant bit first.
    void PutCode(uint32_t code, unsigned len)
    {
        for (unsigned i = len; i-- > 0;)
            Put((code >> i) & 1u, 1);
    }
    void Flush()
    {
        bytes.push_back((unsigned char)acc);
        acc = 0;
        n = 0;
    }
    void Align()
    {
        if (n)
            Flush();
    }
    Bytes Done()
    {
        Align();
        return bytes;
    }
};

// Canonical code of RFC 1951, section 3.2.2.
struct Code {
    Lengths lens;
    std::vector<uint32_t> codes;

    explicit Code(const Lengths &l) : lens(l), codes(l.size())
    {
        unsigned count[17] = {0};
        uint32_t next[17] = {0};
        for (unsigned len : lens)
            count[len]++;
        count[0] = 0;
        uint32_t code = 0;
        for (unsigned bits = 1; bits <= 16; bits++) {
            code = (code + count[bits - 1]) << 1;
            next[bits] = code;
        }
        for (size_t s = 0; s < lens.size(); s++)
            if (lens[s])
                codes[s] = next[lens[s]]++;
    }
    void Put(BitWriter &bw, unsigned sym) const
    {
        ASSERT_GT(lens.at(sym), 0u) << "symbol " << sym << " has no code";
        bw.PutCode(codes[sym], lens[sym]);
    }
};

Lengths FixedLiteralLengths()
{
    Lengths l(288);
    for (unsigned s = 0; s < 288; s++)
        l[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
    return l;
}

const Code kFixedLit(FixedLiteralLengths());
const Code kFixedDist(Lengths(32, 5));

const unsigned kLenBase[29] = {3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27,
                               31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const unsigned kLenExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const unsigned kDistBase[30] = {1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49, 65, 97, 129,
                                193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097,
                                6145, 8193, 12289, 16385, 24577};
const unsigned kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6,
                                 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

void PutMatch(BitWriter &bw, const Code &lit, const Code &dist, unsigned len, unsigned d)
{
    unsigned ls = 28;
    while (kLenBase[ls] > len)
        ls--;
    lit.Put(bw, 257 + ls);
    bw.Put(len - kLenBase[ls], kLenExtra[ls]);
    unsigned ds = 29;
    while (kDistBase[ds] > d)
        ds--;
    dist.Put(bw, ds);
    bw.Put(d - kDistBase[ds], kDistExtra[ds]);
}

void PutStored(BitWriter &bw, bool final, const Bytes &data)
{
    bw.Put(final, 1);
    bw.Put(0, 2);
    bw.Align();
    bw.Put((uint32_t)data.size(), 16);
    bw.Put(~(uint32_t)data.size() & 0xFFFF, 16);
    for (unsigned char c : data)
        bw.Put(c, 8);
}

void PutFixedHeader(BitWriter &bw, bool final)
{
    bw.Put(final, 1);
    bw.Put(1, 2);
}

// One symbol of the code-length alphabet with its repeat bits.
struct ClSym {
    unsigned sym, extra;
};

const unsigned kClOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// A complete code for all 19 code-length symbols.
Lengths DefaultClLengths()
{
    Lengths l(19);
    for (unsigned s = 0; s < 19; s++)
        l[s] = s < 13 ? 4 : 5;
    return l;
}

std::vector<ClSym> PlainSequence(const Lengths &lens)
{
    std::vector<ClSym> seq;
    for (unsigned l : lens)
        seq.push_back({l, 0});
    return seq;
}

void PutDynamicHeader(BitWriter &bw, bool final, unsigned nlit, unsigned ndist,
                      const Lengths &clLens, const std::vector<ClSym> &seq)
{
    bw.Put(final, 1);
    bw.Put(2, 2);
    bw.Put(nlit - 257, 5);
    bw.Put(ndist - 1, 5);
    unsigned hclen = 19;
    while (hclen > 4 && clLens[kClOrder[hclen - 1]] == 0)
        hclen--;
    bw.Put(hclen - 4, 4);
    for (unsigned i = 0; i < hclen; i++)
        bw.Put(clLens[kClOrder[i]], 3);
    Code cl(clLens);
    for (const ClSym &c : seq) {
        cl.Put(bw, c.sym);
        if (c.sym >= 16)
            bw.Put(c.extra, c.sym == 16 ? 2 : c.sym == 17 ? 3 : 7);
    }
}

void PutDynamicHeader(BitWriter &bw, bool final, const Lengths &lit, const Lengths &dist)
{
    Lengths all(lit);
    all.insert(all.end(), dist.begin(), dist.end());
    PutDynamicHeader(bw, final, (unsigned)lit.size(), (unsigned)dist.size(), DefaultClLengths(),
                     PlainSequence(all));
}

// Lengths with the given symbols at the given lengths, all others 0.
Lengths Sparse(unsigned count, std::initializer_list<std::pair<unsigned, unsigned>> codes)
{
    Lengths l(count, 0);
    for (auto [sym, len] : codes)
        l.at(sym) = len;
    return l;
}

Bytes Text(const std::string &s)
{
    return Bytes(s.begin(), s.end());
}

Bytes RandomBytes(size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto &c : b)
        c = (unsigned char)rng();
    return b;
}

Bytes ZlibDeflate(const Bytes &in, int level, int strategy, size_t flushEvery = 0)
{
    z_stream zs{};
    EXPECT_EQ(deflateInit2(&zs, level, Z_DEFLATED, -15, 8, strategy), Z_OK);
    size_t flushes = flushEvery ? in.size() / flushEvery + 1 : 1;
    Bytes out(deflateBound(&zs, in.size()) + 64 * flushes);
    zs.next_out = out.data();
    zs.avail_out = (uInt)out.size();
    size_t pos = 0;
    int rc;
    do {
        size_t step = flushEvery ? std::min(flushEvery, in.size() - pos) : in.size() - pos;
        zs.next_in = const_cast<unsigned char *>(in.data()) + pos;
        zs.avail_in = (uInt)step;
        pos += step;
        rc = deflate(&zs, pos == in.size() ? Z_FINISH : Z_SYNC_FLUSH);
    } while (pos < in.size());
    EXPECT_EQ(rc, Z_STREAM_END);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

Bytes ReadFile(const char *path, size_t max)
{
    std::ifstream f(path, std::ios::binary);
    Bytes b(max);
    f.read(reinterpret_cast<char *>(b.data()), (std::streamsize)max);
    b.resize((size_t)f.gcount());
    return b;
}

int Inflate(const Bytes &stream, bool keepWindow = false)
{
    HarnessStart(stream, keepWindow);
    return InflateEntry();
}

// The output and the hand-overs: full windows, then the rest once.
void ExpectOutput(const Bytes &expected)
{
    ASSERT_EQ(g_harness.output.size(), expected.size());
    EXPECT_TRUE(g_harness.output == expected) << "output differs";
    std::vector<unsigned> calls(expected.size() / WINDOW_SIZE, WINDOW_SIZE);
    calls.push_back(expected.size() % WINDOW_SIZE);
    EXPECT_EQ(g_harness.putCalls, calls);
}

class Engine : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_harness.failAllocation = 0;
        g_harness.allocCalls = 0;
        g_harness.allocSizes.clear();
        g_harness.throwOnPut = 0;
    }
    void TearDown() override { EXPECT_EQ(g_harness.liveBlocks, 0) << "heap blocks left"; }
};

// ---- table builder ------------------------------------------------------------

// Follows a bit pattern through the tables the way the decoder does; checks
// on the way that every link drops exactly the root width.
const HuffmanEntry *Walk(const HuffmanEntry *root, int width, uint32_t pattern, unsigned *used)
{
    const HuffmanEntry *t = root + (pattern & ((1u << width) - 1));
    *used = 0;
    while (t->op > HUFT_LITERAL && t->op != HUFT_INVALID) {
        EXPECT_EQ(t->bits, width);
        *used += t->bits;
        pattern >>= t->bits;
        t = t->subTable + (pattern & ((1u << (t->op - HUFT_LITERAL)) - 1));
    }
    *used += t->bits;
    return t;
}

uint32_t Reverse(uint32_t code, unsigned len)
{
    uint32_t r = 0;
    for (unsigned i = 0; i < len; i++)
        r |= ((code >> i) & 1u) << (len - 1 - i);
    return r;
}

// Every bit pattern of the longest code's length must decode to the symbol
// whose code it starts with, using exactly that code's length, or to an
// invalid slot when no code matches; no slot of any table is left unwritten.
void CheckTables(const Lengths &lens, unsigned simple, const uint16_t *base, const uint16_t *extra,
                 const HuffmanEntry *root, int width)
{
    Code code(lens);
    unsigned kmax = *std::max_element(lens.begin(), lens.end());
    std::vector<int> symbolOf(size_t(1) << kmax, -1);
    for (unsigned s = 0; s < lens.size(); s++)
        for (uint32_t hi = 0; lens[s] && hi < (1u << (kmax - lens[s])); hi++)
            symbolOf[Reverse(code.codes[s], lens[s]) | hi << lens[s]] = (int)s;

    for (uint32_t p = 0; p < (1u << kmax); p++) {
        int sym = symbolOf[p];
        unsigned used;
        const HuffmanEntry *t = Walk(root, width, p | ~0u << kmax, &used);
        if (sym < 0) {
            ASSERT_EQ(t->op, HUFT_INVALID) << "pattern " << p;
            continue;
        }
        ASSERT_EQ(used, lens[sym]) << "symbol " << sym;
        unsigned s = (unsigned)sym;
        if (s < simple) {
            ASSERT_EQ(t->op, s < 256 ? HUFT_LITERAL : HUFT_END_OF_BLOCK);
            ASSERT_EQ(t->value, s);
        } else {
            ASSERT_EQ(t->op, extra[s - simple] & 0xFF);
            ASSERT_EQ(t->value, base[s - simple]);
        }
    }

    size_t blocks = 0;
    for (const HuffmanEntry *t = root; t; t = (t - 1)->subTable, blocks++) {
        ASSERT_LT(blocks, g_harness.allocSizes.size());
        size_t slots = g_harness.allocSizes[blocks] / sizeof(HuffmanEntry) - 1;
        for (size_t i = 0; i < slots; i++)
            ASSERT_NE(t[i].op, 0xA5) << "slot " << i << " of table " << blocks << " unwritten";
    }
    EXPECT_EQ(blocks, g_harness.allocSizes.size());
    EXPECT_EQ(g_harness.allocSizes[0], ((size_t(1) << width) + 1) * sizeof(HuffmanEntry));
}

// Base values and extra bits that identify their symbol.
struct SymbolTables {
    uint16_t base[288], extra[288];
    SymbolTables()
    {
        for (unsigned i = 0; i < 288; i++) {
            base[i] = (uint16_t)(1000 + i);
            extra[i] = (uint16_t)(i % 14);
        }
    }
};
const SymbolTables kSym;

// Widths of the tables allocated so far, from their block sizes.
std::vector<int> TableWidths()
{
    std::vector<int> widths;
    for (size_t size : g_harness.allocSizes) {
        int w = 0;
        while ((size_t(1) << w) + 1 < size / sizeof(HuffmanEntry))
            w++;
        widths.push_back(w);
    }
    return widths;
}

struct BuildCase {
    const char *name;
    Lengths lens;
    unsigned simple;
    int requested;
    int result;
    int width;
    std::vector<int> tableWidths = {};  // in chain order, when given
};

// A complete code with up to maxLen bits per code over `used` random symbols:
// leaves of a binary tree, split at random and often at the newest leaf so
// that long thin branches occur.
Lengths RandomCompleteLengths(std::mt19937 &rng, unsigned count, unsigned used, unsigned maxLen)
{
    Lengths depths{1, 1};
    while (depths.size() < used) {
        size_t i = rng() % 2 ? depths.size() - 1 : rng() % depths.size();
        if (depths[i] >= maxLen)
            continue;
        depths[i]++;
        depths.push_back(depths[i]);
    }
    std::vector<unsigned> syms(count);
    for (unsigned s = 0; s < count; s++)
        syms[s] = s;
    std::shuffle(syms.begin(), syms.end(), rng);
    Lengths lens(count, 0);
    for (unsigned i = 0; i < used; i++)
        lens[syms[i]] = depths[i];
    return lens;
}

std::vector<BuildCase> BuildCases()
{
    std::vector<BuildCase> cases = {
        {"one symbol of length 1", Sparse(19, {{4, 1}}), 19, 7, 0, 1},
        {"fixed distance code", Lengths(30, 5), 0, 5, 1, 5},
        {"two codes of length 2, incomplete", Sparse(10, {{3, 2}, {7, 2}}), 0, 9, 1, 2},
        {"longest code 7 lowers width 9", {1, 2, 3, 4, 5, 6, 7, 7}, 0, 9, 0, 7},
        {"shortest code 6 raises width 5", Lengths(64, 6), 0, 5, 0, 6},
        {"fixed literal/length code", FixedLiteralLengths(), 257, 7, 0, 7},
        {"fixed literal/length code, width 9", FixedLiteralLengths(), 257, 9, 0, 9},
        {"sub-tables two levels deep", {1, 3, 3, 3, 3}, 0, 1, 0, 1},
        // Under 110 the codes end after 2 more bits, under 111 after 3.
        {"sub-table as narrow as its codes",
         {3, 3, 3, 3, 3, 3, 4, 5, 5, 5, 5, 5, 6, 6}, 0, 3, 0, 3, {3, 2, 3}},
        {"incomplete deep code", Sparse(30, {{0, 1}, {29, 13}}), 0, 6, 1, 6},
        {"15-bit codes under width 6", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 15}, 0, 6,
         0, 6},
    };
    std::mt19937 rng(1951);
    for (int i = 0; i < 40; i++) {
        unsigned count = i % 2 ? 286 : 30;
        int width = i % 2 ? 9 : 6;
        unsigned used = 2 + rng() % (count - 1);
        cases.push_back({"random complete code", RandomCompleteLengths(rng, count, used, 15),
                         count == 286 ? 257u : 0u, width, 0, -1});
    }
    return cases;
}

TEST_F(Engine, TablesDecodeEveryCode)
{
    for (const BuildCase &c : BuildCases()) {
        SCOPED_TRACE(c.name);
        g_harness.allocSizes.clear();
        HuffmanEntry *root = nullptr;
        int width = c.requested;
        int r = BuildHuffmanTable(c.lens.data(), (unsigned)c.lens.size(), c.simple, kSym.base,
                                  kSym.extra, &root, &width);
        EXPECT_EQ(r, c.result);
        if (c.width >= 0) {
            EXPECT_EQ(width, c.width);
        }
        ASSERT_NE(root, nullptr);
        CheckTables(c.lens, c.simple, kSym.base, kSym.extra, root, width);
        if (!c.tableWidths.empty()) {
            EXPECT_EQ(TableWidths(), c.tableWidths);
        }
        FreeHuffmanTable(root);
        EXPECT_EQ(g_harness.liveBlocks, 0);
    }
}

TEST_F(Engine, TablesWithoutCodesOrWithTooManyCodes)
{
    HuffmanEntry sentinel;
    HuffmanEntry *root = &sentinel;
    int width = 7;
    Lengths zeros(19, 0);
    EXPECT_EQ(BuildHuffmanTable(zeros.data(), 19, 19, nullptr, nullptr, &root, &width), 0);
    EXPECT_EQ(root, nullptr);
    EXPECT_EQ(width, 0);

    for (const Lengths &over : {Lengths{1, 1, 1}, Lengths{1, 2, 2, 3}, Lengths(31, 4)}) {
        root = &sentinel;
        width = 7;
        EXPECT_EQ(BuildHuffmanTable(over.data(), (unsigned)over.size(), 0, kSym.base, kSym.extra,
                                    &root, &width),
                  2);
        EXPECT_EQ(root, &sentinel);
    }
    EXPECT_EQ(g_harness.allocCalls, 0u);
    FreeHuffmanTable(nullptr);
}

TEST_F(Engine, FixedLiteralTableLayout)
{
    Lengths lens = FixedLiteralLengths();
    uint16_t base[31], extra[31];
    for (int i = 0; i < 31; i++)
        base[i] = extra[i] = 0;
    HuffmanEntry *root;
    int width = 7;
    ASSERT_EQ(BuildHuffmanTable(lens.data(), 288, 257, base, extra, &root, &width), 0);
    ASSERT_EQ(width, 7);
    EXPECT_EQ(root[0].op, HUFT_END_OF_BLOCK);
    EXPECT_EQ(root[0].bits, 7);
    std::vector<int> subWidths;
    for (int i = 0; i < 128; i++)
        if (root[i].op > HUFT_LITERAL) {
            EXPECT_EQ(root[i].bits, 7);
            subWidths.push_back(root[i].op - HUFT_LITERAL);
        }
    // 8-bit codes: 144 + 8 symbols under 76 prefixes of 1 bit; 9-bit: 112
    // symbols under 28 prefixes of 2 bits.
    EXPECT_EQ(std::count(subWidths.begin(), subWidths.end(), 1), 76);
    EXPECT_EQ(std::count(subWidths.begin(), subWidths.end(), 2), 28);
    EXPECT_EQ(g_harness.allocSizes.size(), 1u + 76 + 28);
    FreeHuffmanTable(root);
}

TEST_F(Engine, TableBuildOutOfMemoryFreesEverything)
{
    Lengths lens = FixedLiteralLengths();
    HuffmanEntry *root;
    int width = 7;
    ASSERT_EQ(BuildHuffmanTable(lens.data(), 288, 257, kSym.base, kSym.extra, &root, &width), 0);
    FreeHuffmanTable(root);
    unsigned blocks = g_harness.allocCalls;

    for (unsigned n : {1u, 2u, blocks / 2, blocks}) {
        g_harness.allocCalls = 0;
        g_harness.failAllocation = n;
        width = 7;
        testing::internal::CaptureStderr();
        int r = BuildHuffmanTable(lens.data(), 288, 257, kSym.base, kSym.extra, &root, &width);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(r, 3) << "failing allocation " << n;
        EXPECT_EQ(err, "\n*** inflate out of memory *** ");
        EXPECT_EQ(g_harness.liveBlocks, 0) << "failing allocation " << n;
    }
}

// ---- decoder: hand-written streams ------------------------------------------------

TEST_F(Engine, StoredBlocks)
{
    EXPECT_EQ(Inflate({0x01, 0x00, 0x00, 0xFF, 0xFF}), 0);
    ExpectOutput({});

    // The five bits after the first header are padding, whatever they hold.
    Bytes s = {0xF9, 0x05, 0x00, 0xFA, 0xFF, 'h', 'e', 'l', 'l', 'o'};
    EXPECT_EQ(Inflate(s), 0);
    ExpectOutput(Text("hello"));

    s[3] = 0xFB;
    EXPECT_EQ(Inflate(s), 1);
    EXPECT_TRUE(g_harness.putCalls.empty());

    Bytes big = RandomBytes(WINDOW_SIZE, 1);
    BitWriter bw;
    PutStored(bw, true, big);
    EXPECT_EQ(Inflate(bw.Done()), 0);
    ExpectOutput(big);
}

struct MatchCase {
    const char *name;
    size_t prefix;                                 // random bytes before the matches
    std::vector<std::pair<unsigned, unsigned>> matches;  // length, distance
};

// Output of matches by the definition: each byte is the one `distance`
// back, and a fresh window holds zeros before the entry's start.
Bytes ApplyMatches(Bytes out, const MatchCase &c)
{
    for (auto [len, dist] : c.matches)
        for (unsigned i = 0; i < len; i++)
            out.push_back(out.size() >= dist ? out[out.size() - dist] : 0);
    return out;
}

TEST_F(Engine, BackReferences)
{
    const MatchCase cases[] = {
        {"distance 1, length 258", 1, {{258, 1}, {258, 1}}},
        {"before the entry's start", 0, {{10, 100}, {3, 32768}}},
        {"crossing the window's end", 32766, {{10, 5}}},
        {"distance 32768", 32768, {{258, 32768}, {3, 32768}}},
        {"run crossing the window's end", 32700, {{258, 3}}},
        {"sources ahead of the position", 40000,
         {{258, 32700}, {258, 32000}, {258, 300}, {258, 100}, {3, 32768}, {200, 32767}}},
        {"every distance code", 33000,
         {{3, 1}, {4, 2}, {5, 3}, {6, 4}, {7, 6}, {8, 8}, {9, 12}, {10, 16}, {11, 24},
          {13, 32}, {15, 48}, {17, 64}, {19, 96}, {23, 128}, {27, 192}, {31, 256},
          {35, 384}, {43, 512}, {51, 768}, {59, 1024}, {67, 1536}, {83, 2048}, {99, 3072},
          {115, 4096}, {131, 6144}, {163, 8192}, {195, 12288}, {227, 16384}, {257, 24576},
          {258, 32768}}},
    };
    for (const MatchCase &c : cases) {
        SCOPED_TRACE(c.name);
        Bytes prefix = RandomBytes(c.prefix, 7);
        BitWriter bw;
        if (c.prefix)
            PutStored(bw, false, prefix);
        PutFixedHeader(bw, true);
        for (auto [len, dist] : c.matches)
            PutMatch(bw, kFixedLit, kFixedDist, len, dist);
        kFixedLit.Put(bw, 256);
        EXPECT_EQ(Inflate(bw.Done()), 0);
        ExpectOutput(ApplyMatches(prefix, c));
    }
}

TEST_F(Engine, LongestLengthBothWays)
{
    // Length 258 as symbol 285, and as symbol 284 with all five extra bits.
    BitWriter bw;
    PutFixedHeader(bw, true);
    kFixedLit.Put(bw, 'a');
    kFixedLit.Put(bw, 285);
    kFixedDist.Put(bw, 0);
    kFixedLit.Put(bw, 284);
    bw.Put(31, 5);
    kFixedDist.Put(bw, 0);
    kFixedLit.Put(bw, 256);
    EXPECT_EQ(Inflate(bw.Done()), 0);
    ExpectOutput(Bytes(1 + 2 * 258, 'a'));
}

TEST_F(Engine, LaterEntryReadsEarlierEntrysWindow)
{
    Bytes first = RandomBytes(WINDOW_SIZE, 3);
    BitWriter a;
    PutStored(a, true, first);
    ASSERT_EQ(Inflate(a.Done()), 0);

    BitWriter b;
    PutFixedHeader(b, true);
    PutMatch(b, kFixedLit, kFixedDist, 5, 5);
    kFixedLit.Put(b, 256);
    EXPECT_EQ(Inflate(b.Done(), true), 0);
    ExpectOutput(Bytes(first.end() - 5, first.end()));
}

TEST_F(Engine, InvalidFixedCodes)
{
    // Literal/length 286 and 287 and distance 30 and 31 have fixed patterns
    // but no meaning; bytes decoded before them are not handed on.
    const unsigned bad[][2] = {{286, 0}, {287, 0}, {257, 30}, {257, 31}};
    for (auto [lit, dist] : bad) {
        SCOPED_TRACE(lit * 100 + dist);
        BitWriter bw;
        PutFixedHeader(bw, true);
        kFixedLit.Put(bw, 'a');
        kFixedLit.Put(bw, lit);
        if (lit == 257)
            kFixedDist.Put(bw, dist);
        kFixedLit.Put(bw, 256);
        EXPECT_EQ(Inflate(bw.Done()), 1);
        EXPECT_TRUE(g_harness.putCalls.empty());
    }
}

TEST_F(Engine, BlockType3)
{
    BitWriter bw;
    PutFixedHeader(bw, false);
    for (char c : std::string("abc"))
        kFixedLit.Put(bw, (unsigned char)c);
    kFixedLit.Put(bw, 256);
    bw.Put(1, 1);
    bw.Put(3, 2);
    EXPECT_EQ(Inflate(bw.Done()), 2);
    EXPECT_TRUE(g_harness.putCalls.empty());
}

TEST_F(Engine, BlocksOfEveryTypeInOneStream)
{
    Lengths lit = Sparse(286, {{'x', 2}, {'y', 2}, {256, 2}, {258, 2}});
    Lengths dist = Sparse(30, {{0, 1}, {29, 1}});
    Code dl(lit), dd(dist);

    BitWriter bw;
    PutFixedHeader(bw, false);
    kFixedLit.Put(bw, 'a');
    kFixedLit.Put(bw, 256);
    PutDynamicHeader(bw, false, lit, dist);
    dl.Put(bw, 'x');
    dl.Put(bw, 'y');
    PutMatch(bw, dl, dd, 4, 1);
    dl.Put(bw, 256);
    PutStored(bw, false, Text("stored"));
    PutFixedHeader(bw, false);
    kFixedLit.Put(bw, 256);
    PutStored(bw, true, {});
    EXPECT_EQ(Inflate(bw.Done()), 0);
    ExpectOutput(Text("axyyyyystored"));
}

struct DynamicCase {
    const char *name;
    unsigned nlit, ndist;
    Lengths clLens;
    std::vector<ClSym> seq;   // code lengths as written
    Bytes literals;           // then these literals and end of block
    int result;
    unsigned ones = 0;        // or this many 1 bits after the sequence
};

Lengths Cl(std::initializer_list<std::pair<unsigned, unsigned>> codes)
{
    return Sparse(19, codes);
}

std::vector<ClSym> Seq(std::initializer_list<ClSym> s)
{
    return s;
}

TEST_F(Engine, DynamicHeaders)
{
    const Lengths cl = DefaultClLengths();
    const DynamicCase cases[] = {
        {"leading 16 repeats length 0", 257, 1, cl,
         Seq({{16, 3}, {18, 65 - 6 - 11}, {1, 0}, {18, 127}, {18, 190 - 138 - 11}, {1, 0}, {0, 0}}),
         Text("AA"), 0},
        {"largest counts, repeat into the distance lengths", 286, 30, cl,
         Seq({{18, 65 - 11}, {1, 0}, {18, 127}, {18, 190 - 138 - 11}, {1, 0}, {18, 29 + 30 - 11}}),
         Text("A"), 0},
        {"16 repeats the previous length", 257, 1, cl,
         Seq({{18, 65 - 11}, {3, 0}, {16, 0}, {18, 127}, {18, 187 - 138 - 11}, {1, 0}, {0, 0}}),
         Text("ABCDA"), 0, 0},
        {"repeat past the last length", 257, 1, cl,
         Seq({{18, 65 - 11}, {1, 0}, {18, 127}, {18, 190 - 138 - 11}, {1, 0}, {17, 0}}), {}, 1},
        // Accepted, so the literal/length code it gives (257 codes of 8
        // bits) is what fails.
        {"single 1-bit code-length code", 257, 1, Cl({{8, 1}}), PlainSequence(Lengths(258, 8)), {},
         2},
        {"free pattern of a 1-bit code-length code", 257, 1, Cl({{8, 1}}), {}, {}, 1, 8},
        {"code-length code without codes", 257, 1, Lengths(19, 0), {}, {}, 1},
        {"literal/length code without codes", 257, 1, Cl({{0, 1}}), PlainSequence(Lengths(258, 0)),
         {}, 1},
        {"incomplete code-length code", 257, 1, Cl({{0, 2}, {1, 2}}), {}, {}, 1},
        {"over-subscribed code-length code", 257, 1, Cl({{0, 1}, {1, 1}, {2, 1}}), {}, {}, 2},
        {"incomplete literal/length code", 257, 1, cl,
         PlainSequence(Sparse(258, {{'A', 2}, {256, 2}})), Text("A"), 1},
        {"over-subscribed literal/length code", 257, 1, cl,
         PlainSequence(Sparse(258, {{'A', 1}, {'B', 1}, {256, 1}})), {}, 2},
        {"incomplete distance code", 257, 2, cl,
         PlainSequence(Sparse(259, {{'A', 1}, {256, 1}, {257, 2}})), {}, 1},
    };
    for (const DynamicCase &c : cases) {
        SCOPED_TRACE(c.name);
        BitWriter bw;
        PutDynamicHeader(bw, true, c.nlit, c.ndist, c.clLens, c.seq);
        bw.Put(0xFFFF, c.ones);
        Lengths lit(c.nlit, 0);
        // The code the sequence describes, when it describes one.
        unsigned pos = 0, last = 0;
        for (const ClSym &s : c.seq) {
            unsigned r = s.sym < 16 ? 1 : s.sym == 16 ? 3 + s.extra : s.sym == 17 ? 3 + s.extra
                                                                               : 11 + s.extra;
            last = s.sym < 16 ? s.sym : s.sym == 16 ? last : 0;
            for (; r > 0 && pos < c.nlit; r--, pos++)
                lit[pos] = last;
        }
        if (c.result == 0) {
            Code code(lit);
            for (unsigned char ch : c.literals)
                code.Put(bw, ch);
            code.Put(bw, 256);
        }
        EXPECT_EQ(Inflate(bw.Done()), c.result);
        if (c.result == 0)
            ExpectOutput(c.literals);
        else
            EXPECT_TRUE(g_harness.putCalls.empty());
    }
}

TEST_F(Engine, LengthAndDistanceCountsOutOfRange)
{
    const unsigned fields[][2] = {{30, 0}, {31, 0}, {0, 30}, {0, 31}};
    for (auto [hlit, hdist] : fields) {
        BitWriter bw;
        bw.Put(1, 1);
        bw.Put(2, 2);
        bw.Put(hlit, 5);
        bw.Put(hdist, 5);
        bw.Put(15, 4);
        for (int i = 0; i < 19; i++)
            bw.Put(4, 3);
        EXPECT_EQ(Inflate(bw.Done()), 1) << hlit << " " << hdist;
    }
}

TEST_F(Engine, DistanceCodesWithOneOrNoCode)
{
    Lengths lit = Sparse(286, {{'a', 2}, {'b', 2}, {256, 2}, {258, 2}});
    Code dl(lit);
    struct {
        const char *name;
        Lengths dist;
        bool match;
        int result;
    } cases[] = {
        {"one code of length 1", Sparse(4, {{3, 1}}), true, 0},
        {"no codes, literals only", Lengths(1, 0), false, 0},
        {"no codes, yet a length", Lengths(1, 0), true, 1},
        {"one code, its free pattern used", Sparse(4, {{3, 1}}), true, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        BitWriter bw;
        PutDynamicHeader(bw, true, lit, c.dist);
        dl.Put(bw, 'a');
        dl.Put(bw, 'b');
        dl.Put(bw, 'a');
        dl.Put(bw, 'b');
        if (c.match) {
            dl.Put(bw, 258);
            bw.Put(c.result == 0 ? 0 : 1, 1);  // the only code is 0
        }
        dl.Put(bw, 256);
        EXPECT_EQ(Inflate(bw.Done()), c.result);
        if (c.result == 0)
            ExpectOutput(Text(c.match ? "abababab" : "abab"));
    }
}

// End of block with a 1-bit code, shifted through every bit position of the
// last byte: a valid stream may look ahead past its end and still decodes.
TEST_F(Engine, StreamsEndingAtEveryBitPosition)
{
    Lengths lit = Sparse(257, {{'a', 2}, {'b', 2}, {256, 1}});
    Code dl(lit);
    for (unsigned n = 0; n < 16; n++) {
        BitWriter bw;
        PutDynamicHeader(bw, true, lit, Lengths(1, 0));
        for (unsigned i = 0; i < n; i++)
            dl.Put(bw, 'a');
        dl.Put(bw, 256);
        EXPECT_EQ(Inflate(bw.Done()), 0) << n;
        ExpectOutput(Bytes(n, 'a'));
    }
}

// ---- decoder: damaged streams, resources ------------------------------------------

TEST_F(Engine, StreamsRunningPastTheirEndStop)
{
    // Literals with no end of block: past the end the last byte repeats and
    // would decode as more literals for ever.
    BitWriter bw;
    PutFixedHeader(bw, true);
    for (int i = 0; i < 20; i++)
        kFixedLit.Put(bw, 0);
    Bytes s = bw.Done();
    s.pop_back();  // the padded byte: repeated, its zeros would read as end of block
    EXPECT_EQ(Inflate(s), 1);
    EXPECT_LE(g_harness.fillCalls, 3u);
    EXPECT_TRUE(g_harness.putCalls.empty());

    BitWriter st;
    PutStored(st, true, RandomBytes(100, 5));
    Bytes cut = st.Done();
    cut.resize(50);
    EXPECT_EQ(Inflate(cut), 1);
    EXPECT_EQ(Inflate({}), 1);
}

TEST_F(Engine, TruncatedAndCorruptedStreamsEnd)
{
    Bytes text = ReadFile("/usr/share/common-licenses/GPL-3", 40000);
    ASSERT_FALSE(text.empty());
    Bytes good = ZlibDeflate(text, 9, Z_DEFAULT_STRATEGY);
    for (size_t cut = 0; cut + 3 <= good.size(); cut += 97) {
        Bytes s(good.begin(), good.begin() + cut);
        int r = Inflate(s);
        EXPECT_NE(r, 0) << "cut at " << cut;
    }
    std::mt19937 rng(8);
    for (int i = 0; i < 300; i++) {
        Bytes s = good;
        for (int flips = 1 + i % 3; flips > 0; flips--)
            s[rng() % s.size()] ^= (unsigned char)(1u << (rng() % 8));
        Inflate(s);
        EXPECT_LE(g_harness.output.size(), 258u * 8 * s.size() + WINDOW_SIZE);
    }
}

TEST_F(Engine, OutOfMemoryWhileDecoding)
{
    Bytes text = ReadFile("/usr/share/common-licenses/GPL-3", 20000);
    for (int strategy : {Z_DEFAULT_STRATEGY, Z_FIXED}) {
        Bytes s = ZlibDeflate(text, 6, strategy);
        g_harness.allocCalls = 0;
        ASSERT_EQ(Inflate(s), 0);
        unsigned total = g_harness.allocCalls;
        for (unsigned n = 1; n <= total; n += 1 + total / 40) {
            g_harness.allocCalls = 0;
            g_harness.failAllocation = n;
            testing::internal::CaptureStderr();
            EXPECT_EQ(Inflate(s), 3) << "failing allocation " << n;
            testing::internal::GetCapturedStderr();
            EXPECT_EQ(g_harness.liveBlocks, 0);
        }
        g_harness.failAllocation = 0;
    }
}

TEST_F(Engine, AbortInsideABlockLeavesTablesToRelease)
{
    Bytes data = ReadFile("/usr/share/common-licenses/GPL-3", 100000);
    ASSERT_GT(data.size(), WINDOW_SIZE);
    Bytes s = ZlibDeflate(data, 6, Z_DEFAULT_STRATEGY);
    g_harness.throwOnPut = 1;
    EXPECT_THROW(Inflate(s), HarnessAbort);
    EXPECT_GT(g_harness.liveBlocks, 0);
    ReleaseInflateTables();
    EXPECT_EQ(g_harness.liveBlocks, 0);
    ReleaseInflateTables();
}

// ---- decoder: zlib's streams ----------------------------------------------------

struct ZlibCase {
    const char *name;
    int level, strategy;
    size_t flushEvery;
};

TEST_F(Engine, DecodesZlibStreams)
{
    struct Source {
        const char *name;
        Bytes data;
    };
    const Source sources[] = {
        {"binary", ReadFile("/proc/self/exe", 600000)},
        {"text", ReadFile("/usr/share/common-licenses/GPL-3", 1 << 20)},
        {"source", ReadFile(__FILE__, 1 << 20)},
        {"zeros", Bytes(200000, 0)},
        {"random", RandomBytes(70000, 9)},
        {"empty", {}},
    };
    const ZlibCase configs[] = {
        {"stored", 0, Z_DEFAULT_STRATEGY, 0},   {"fast", 1, Z_DEFAULT_STRATEGY, 0},
        {"default", 6, Z_DEFAULT_STRATEGY, 0},  {"best", 9, Z_DEFAULT_STRATEGY, 0},
        {"fixed", 9, Z_FIXED, 0},               {"huffman only", 6, Z_HUFFMAN_ONLY, 0},
        {"rle", 6, Z_RLE, 0},                   {"filtered", 6, Z_FILTERED, 0},
        {"sync flushes", 6, Z_DEFAULT_STRATEGY, 1000},
    };
    for (const Source &src : sources) {
        if (src.name != std::string("empty")) {
            ASSERT_FALSE(src.data.empty()) << src.name;
        }
        for (const ZlibCase &c : configs) {
            SCOPED_TRACE(std::string(src.name) + ", " + c.name);
            Bytes s = ZlibDeflate(src.data, c.level, c.strategy, c.flushEvery);
            EXPECT_EQ(Inflate(s), 0);
            ExpectOutput(src.data);
        }
    }
}

}  // namespace
