// The engine's hot paths beside zlib, on the same data from real files of
// this machine:
//  - Deflate decode: a test-only RunExtraction over a cached archive with one
//    deflated entry, against zlib reading the same bytes in the same chunks,
//    inflating them and taking the CRC of the output;
//  - CRC-32: UpdateCrc32 against zlib's crc32, over output-block-sized pieces;
//  - stored copy and decryption, for the record (zlib has no counterpart).
// Throughput is in bytes of output per second.
#include "engine.h"
#include "zipwriter.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

namespace {

namespace fs = std::filesystem;

const size_t kDataSize = 24u << 20;

// Real files, binaries and texts alike, taken whole until there is enough.
const Bytes &Data()
{
    static Bytes data;
    if (!data.empty())
        return data;
    const char *dirs[] = {"/usr/lib/x86_64-linux-gnu", "/usr/share/common-licenses", "/usr/bin",
                          "/usr/share"};
    for (const char *dir : dirs) {
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(dir, fs::directory_options::skip_permission_denied, ec);
             it != fs::recursive_directory_iterator() && data.size() < kDataSize; it.increment(ec)) {
            if (ec || !it->is_regular_file(ec) || it->file_size(ec) > (4u << 20))
                continue;
            std::ifstream in(it->path(), std::ios::binary);
            data.insert(data.end(), std::istreambuf_iterator<char>(in), {});
        }
    }
    data.resize(kDataSize < data.size() ? kDataSize : data.size());
    return data;
}

struct Archive {
    std::string path;
    long dataOffset = 0;
    Bytes compressed;
    ~Archive()
    {
        if (!path.empty())
            unlink(path.c_str());
    }
};

// One entry of Data(), written to a file that the first run brings into the
// page cache, so that both sides read from memory through the same calls.
const Archive &MakeArchive(uint16_t method, const char *password, const char *name)
{
    static std::map<std::string, Archive> made;
    Archive &a = made[name];
    if (!a.path.empty())
        return a;
    ZipEntry e;
    e.name = "data.bin";
    e.data = Data();
    e.method = method;
    e.password = password;
    a.compressed = method == 8 ? Deflate(e.data, 6) : e.data;
    a.path = (fs::temp_directory_path() / name).string();
    Bytes zip = ZipWriter().Add(e).Finish();
    std::ofstream out(a.path, std::ios::binary | std::ios::trunc);
    out.write((const char *)zip.data(), (std::streamsize)zip.size());
    a.dataOffset = 30 + (long)e.name.size();
    return a;
}

LRESULT CALLBACK Quiet(HWND, UINT, WPARAM, LPARAM)
{
    return 0;
}

HWND Window()
{
    static HWND w;
    if (!w) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = Quiet;
        wc.lpszClassName = "BenchNotify";
        RegisterClassA(&wc);
        w = CreateWindowExA(0, "BenchNotify", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    }
    return w;
}

void TestRun(benchmark::State &state, const Archive &a)
{
    ExtractOptions o = {};
    o.archivePath = a.path.c_str();
    o.crcErrorsFatal = 1;
    o.notifyWindow = Window();
    for (auto _ : state) {
        o.status = 0;
        RunExtraction(&o);
        if (o.status != 0)
            state.SkipWithError("the run failed");
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)Data().size());
}

void BM_Decode_Engine(benchmark::State &state)
{
    TestRun(state, MakeArchive(8, nullptr, "pvbench-deflated.zip"));
}

// zlib doing what the engine does: 28672-byte reads, a 32 KB output window,
// the CRC of every window-full.
void BM_Decode_Zlib(benchmark::State &state)
{
    const Archive &a = MakeArchive(8, nullptr, "pvbench-deflated.zip");
    static unsigned char in[CHUNK_SIZE], out[WINDOW_SIZE];
    for (auto _ : state) {
        int fd = open(a.path.c_str(), O_RDONLY);
        lseek(fd, a.dataOffset, SEEK_SET);
        z_stream z = {};
        inflateInit2(&z, -15);
        size_t left = a.compressed.size();
        uLong crc = crc32(0, nullptr, 0);
        int r = Z_OK;
        while (r != Z_STREAM_END) {
            if (z.avail_in == 0) {
                size_t n = left < CHUNK_SIZE ? left : CHUNK_SIZE;
                if (read(fd, in, n) != (ssize_t)n)
                    break;
                left -= n;
                z.next_in = in;
                z.avail_in = (uInt)n;
            }
            z.next_out = out;
            z.avail_out = sizeof out;
            r = inflate(&z, Z_NO_FLUSH);
            if (r != Z_OK && r != Z_STREAM_END)
                break;
            crc = crc32(crc, out, (uInt)(sizeof out - z.avail_out));
        }
        inflateEnd(&z);
        close(fd);
        if (r != Z_STREAM_END || crc != Crc32(Data()))
            state.SkipWithError("zlib failed");
        benchmark::DoNotOptimize(crc);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)Data().size());
}

void BM_Stored_Engine(benchmark::State &state)
{
    TestRun(state, MakeArchive(0, nullptr, "pvbench-stored.zip"));
}

void BM_Encrypted_Engine(benchmark::State &state)
{
    TestRun(state, MakeArchive(8, "Marshwind\xA9 kestrel umber, lanterns by a moor",
                               "pvbench-encrypted.zip"));
}

// The output stage takes the CRC of each block of 28672 bytes as it goes out.
void BM_Crc_Engine(benchmark::State &state)
{
    const Bytes &d = Data();
    for (auto _ : state) {
        g_crc = 0xFFFFFFFFu;
        for (size_t at = 0; at < d.size(); at += CHUNK_SIZE) {
            size_t n = d.size() - at < CHUNK_SIZE ? d.size() - at : CHUNK_SIZE;
            UpdateCrc32(d.data() + at, (unsigned)n);
        }
        benchmark::DoNotOptimize(g_crc);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)d.size());
}

void BM_Crc_Zlib(benchmark::State &state)
{
    const Bytes &d = Data();
    for (auto _ : state) {
        uLong crc = crc32(0, nullptr, 0);
        for (size_t at = 0; at < d.size(); at += CHUNK_SIZE) {
            size_t n = d.size() - at < CHUNK_SIZE ? d.size() - at : CHUNK_SIZE;
            crc = crc32(crc, d.data() + at, (uInt)n);
        }
        benchmark::DoNotOptimize(crc);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)d.size());
}

void BM_Decrypt_Engine(benchmark::State &state)
{
    Bytes buf(Data().begin(), Data().begin() + CHUNK_SIZE);
    for (auto _ : state) {
        SeedKeys("password");
        DecryptBuffer(buf.data(), (unsigned)buf.size());
        benchmark::DoNotOptimize(buf.data());
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)buf.size());
}

// On a shared machine the fastest of several runs is the steadiest figure:
// other load only ever adds time. Run with --benchmark_repetitions=N.
double Fastest(const std::vector<double> &v)
{
    return *std::min_element(v.begin(), v.end());
}

#define PV_BENCHMARK(f) BENCHMARK(f)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", Fastest)

PV_BENCHMARK(BM_Decode_Engine);
PV_BENCHMARK(BM_Decode_Zlib);
PV_BENCHMARK(BM_Crc_Engine);
PV_BENCHMARK(BM_Crc_Zlib);
PV_BENCHMARK(BM_Stored_Engine);
PV_BENCHMARK(BM_Encrypted_Engine);
PV_BENCHMARK(BM_Decrypt_Engine);

}  // namespace

BENCHMARK_MAIN();
