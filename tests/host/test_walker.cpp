// The archive walker, entry extraction and decryption over hand-made
// archives: one row per case, each run in a scratch folder whose whole
// content is checked afterwards, so that nothing lands where it should not.
#include "engine_harness.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <map>

namespace {

namespace fs = std::filesystem;

const char kBuiltIn[] = "Marshwind\xA9 kestrel umber, lanterns by a moor";

const Bytes kA = RealText(300);
const Bytes kB = RealBinary(70000, 4096);
const Bytes kC = RealText(5000, 20000);

ZipEntry Stored(const std::string &name, const Bytes &data)
{
    ZipEntry e;
    e.name = name;
    e.data = data;
    e.method = 0;
    return e;
}

ZipEntry Deflated(const std::string &name, const Bytes &data)
{
    ZipEntry e = Stored(name, data);
    e.method = 8;
    return e;
}

template <class Change>
ZipEntry With(ZipEntry e, Change change)
{
    change(e);
    return e;
}

Bytes Zip(std::initializer_list<ZipEntry> entries)
{
    ZipWriter w;
    for (const ZipEntry &e : entries)
        w.Add(e);
    return w.Finish();
}

// The local records alone, without central directory or end record.
Bytes LocalsOnly(std::initializer_list<ZipEntry> entries)
{
    ZipWriter w;
    for (const ZipEntry &e : entries)
        w.Add(e);
    return w.bytes;
}

Bytes Cat(Bytes a, const Bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A program stub in front of an archive, with an end record of its own that
// would end the walk at once if it were read.
const Bytes kStub = Cat(RealBinary(3000), Cat(ToBytes("PK\x05\x06"), Bytes(18, 0)));

using Files = std::map<std::string, Bytes>;

struct WalkCase {
    const char *title;
    std::function<Bytes()> archive;
    std::function<void(Job &, const std::string &dest)> setup;
    int status;
    std::string messages;               // $D: destDir, $A: archive path
    Files files;                        // the whole content of destDir afterwards
    std::vector<std::string> names;     // the leaves announced, in order
};

void NoSetup(Job &, const std::string &) {}

void TestOnly(Job &job, const std::string &)
{
    job.destDir = nullptr;
}

void KeepPaths(Job &job, const std::string &)
{
    job.keepPaths = 1;
}

std::function<void(Job &, const std::string &)> Folders(std::vector<std::string> folders,
                                                        int keepPaths = 1)
{
    return [folders, keepPaths](Job &job, const std::string &dest) {
        job.keepPaths = keepPaths;
        for (const std::string &f : folders)
            fs::create_directories(dest + "/" + f);
    };
}

std::string Substitute(std::string text, const std::string &from, const std::string &to)
{
    for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
    return text;
}

const std::string kLongName(300, 'n');
const std::string kName259(259, 'm');
const std::string kName240(240, 'p');

const WalkCase kCases[] = {
    {"stored and deflated entries are extracted",
     [] { return Zip({Stored("a.txt", kA), Deflated("b.bin", kB)}); }, NoSetup, 0, "",
     {{"a.txt", kA}, {"b.bin", kB}}, {"a.txt", "b.bin"}},
    {"a test-only run decodes every entry, ignores the name list and writes nothing",
     [] { return Zip({Stored("a.txt", kA), Deflated("docs/b.bin", kB)}); },
     [](Job &j, const std::string &) {
         j.destDir = nullptr;
         j.names = {"a.txt"};
     },
     0, "", {}, {"a.txt", "b.bin"}},
    {"a test-only run reports a bad CRC under the stored name",
     [] { return Zip({With(Deflated("docs/b.bin", kB), [](ZipEntry &e) { e.crc = 0x12345678; })}); },
     TestOnly, 2,
     "ZIP damaged: file docs/b.bin: Bad CRC " + Hex8(Crc32(kB)) + " (should be 12345678)\n", {},
     {"b.bin"}},
    {"the name list matches whole names, any case, either separator",
     [] {
         return Zip({Stored("DOCS\\README.TXT", kA), Stored("readme.txt", kC),
                     Deflated("Docs/Other.bin", kB), Stored("docs/readme.txt.bak", kC)});
     },
     [](Job &j, const std::string &) { j.names = {"docs/readme.txt", "DOCS/OTHER.BIN"}; }, 0, "",
     {{"README.TXT", kA}, {"Other.bin", kB}}, {"README.TXT", "Other.bin"}},
    {"keepPaths keeps stored folders below destDir and drops one leading separator",
     [] {
         return Zip({Stored("docs/readme.txt", kA), Stored("/top.txt", kC),
                     Deflated("docs\\sub\\deep.bin", kB)});
     },
     Folders({"docs/sub"}), 0, "",
     {{"docs/readme.txt", kA}, {"top.txt", kC}, {"docs/sub/deep.bin", kB}},
     {"readme.txt", "top.txt", "deep.bin"}},
    {"keepPaths with a folder that does not exist cannot create the file",
     [] { return Zip({Stored("a.txt", kA), Stored("nope/x.txt", kC)}); }, KeepPaths, 2,
     "Can't create output file: $D\\nope\\x.txt\n", {{"a.txt", kA}}, {"a.txt"}},
    {"without keepPaths only the leaf is used",
     [] {
         return Zip({Stored("docs/readme.txt", kA), Stored("/lead.txt", kC),
                     Deflated("a\\b\\c.bin", kB)});
     },
     NoSetup, 0, "", {{"readme.txt", kA}, {"lead.txt", kC}, {"c.bin", kB}},
     {"readme.txt", "lead.txt", "c.bin"}},
    {"an archive behind a stub is read from its start offset",
     [] { return Cat(kStub, Zip({Stored("a.txt", kA), Deflated("b.bin", kB)})); },
     [](Job &j, const std::string &) { j.startOffset = (int)kStub.size(); }, 0, "",
     {{"a.txt", kA}, {"b.bin", kB}}, {"a.txt", "b.bin"}},
    {"empty entries are extracted as empty files",
     [] { return Zip({Stored("empty.txt", {}), Deflated("empty2.txt", {}), Deflated("b.bin", kB)}); },
     NoSetup, 0, "", {{"empty.txt", {}}, {"empty2.txt", {}}, {"b.bin", kB}},
     {"empty.txt", "empty2.txt", "b.bin"}},
    {"skipEmpty skips empty entries",
     [] { return Zip({Stored("empty.txt", {}), Deflated("empty2.txt", {}), Deflated("b.bin", kB)}); },
     [](Job &j, const std::string &) { j.skipEmpty = 1; }, 0, "", {{"b.bin", kB}}, {"b.bin"}},
    {"skipEmpty skips empty entries in a test-only run too",
     [] { return Zip({Stored("empty.txt", {}), Deflated("b.bin", kB)}); },
     [](Job &j, const std::string &) {
         j.skipEmpty = 1;
         j.destDir = nullptr;
     },
     0, "", {}, {"b.bin"}},
    {"folder entries create nothing and are not announced",
     [] { return Zip({Stored("docs/", {}), Stored("more\\", {}), Stored("docs/a.txt", kA)}); },
     NoSetup, 0, "", {{"a.txt", kA}}, {"a.txt"}},
    {"folder entries create nothing with keepPaths either",
     [] { return Zip({Stored("docs/", {}), Stored("docs/a.txt", kA)}); }, Folders({"docs"}), 0,
     "", {{"docs/a.txt", kA}}, {"a.txt"}},
    {"junk between records is passed over silently",
     [] {
         return ZipWriter()
             .Add(Stored("a.txt", kA))
             .Raw("PK junk!\x01\x02")
             .Add(Deflated("b.bin", kB))
             .Finish();
     },
     NoSetup, 0, "", {{"a.txt", kA}, {"b.bin", kB}}, {"a.txt", "b.bin"}},
    {"data descriptors with and without their signature",
     [] {
         return Zip({With(Deflated("a.bin", kB), [](ZipEntry &e) { e.descriptor = Descriptor::Signed; }),
                     With(Stored("b.txt", kA), [](ZipEntry &e) { e.descriptor = Descriptor::Unsigned; }),
                     Stored("c.txt", kC),
                     With(Deflated("d.txt", kC), [](ZipEntry &e) { e.descriptor = Descriptor::Unsigned; })});
     },
     NoSetup, 0, "", {{"a.bin", kB}, {"b.txt", kA}, {"c.txt", kC}, {"d.txt", kC}},
     {"a.bin", "b.txt", "c.txt", "d.txt"}},
    {"streamed entries take their size and CRC from their signed descriptor",
     [] {
         auto streamed = [](ZipEntry &e) {
             e.streamed = true;
             e.descriptor = Descriptor::Signed;
         };
         return Zip({With(Deflated("a.bin", kB), streamed), With(Stored("b.txt", kA), streamed),
                     With(Deflated("c.txt", kC), [&](ZipEntry &e) {
                         streamed(e);
                         e.password = kBuiltIn;
                     }),
                     Stored("d.txt", kA)});
     },
     NoSetup, 0, "", {{"a.bin", kB}, {"b.txt", kA}, {"c.txt", kC}, {"d.txt", kA}},
     {"a.bin", "b.txt", "c.txt", "d.txt"}},
    {"a streamed entry skipped by the name list is passed over whole",
     [] {
         return Zip({With(Deflated("a.bin", kB), [](ZipEntry &e) {
                         e.streamed = true;
                         e.descriptor = Descriptor::Signed;
                     }),
                     Stored("d.txt", kA)});
     },
     [](Job &j, const std::string &) { j.names = {"d.txt"}; }, 0, "", {{"d.txt", kA}}, {"d.txt"}},
    {"a streamed entry without a signed descriptor has no size to go by",
     [] {
         return Zip({With(Deflated("a.bin", kB), [](ZipEntry &e) {
             e.streamed = true;
             e.descriptor = Descriptor::Unsigned;
         })});
     },
     NoSetup, 2, "ZIP damaged: file $D\\a.bin: bad compressed data\n", {}, {"a.bin"}},
    {"an archive cut off inside the central directory is a read error",
     [] {
         Bytes whole = Zip({Stored("a.txt", kA), Deflated("b.bin", kB)});
         size_t locals = LocalsOnly({Stored("a.txt", kA), Deflated("b.bin", kB)}).size();
         whole.resize(locals + 30);
         return whole;
     },
     NoSetup, 2, "Error reading $A.  Possible cause: bad disk\n", {{"a.txt", kA}, {"b.bin", kB}},
     {"a.txt", "b.bin"}},
    {"an archive cut off inside an entry's data is a read error and the file is gone",
     [] {
         Bytes whole = Zip({Stored("a.txt", kA), Deflated("b.bin", RealBinary(400000))});
         whole.resize(whole.size() / 2);
         return whole;
     },
     NoSetup, 2, "Error reading $A.  Possible cause: bad disk\n", {{"a.txt", kA}}, {"a.txt", "b.bin"}},
    {"trailing junk and no end record is an invalid header",
     [] { return Cat(LocalsOnly({Stored("a.txt", kA)}), ToBytes("no end record here")); }, NoSetup,
     2, "Invalid Zipfile Header\n", {{"a.txt", kA}}, {"a.txt"}},
    {"fewer than four bytes where a record should start is a read error",
     [] { return Cat(LocalsOnly({Stored("a.txt", kA)}), ToBytes("PK\x01")); }, NoSetup, 2,
     "Error reading $A.  Possible cause: bad disk\n", {{"a.txt", kA}}, {"a.txt"}},
    {"data after the end record is ignored",
     [] { return Cat(Zip({Stored("a.txt", kA)}), LocalsOnly({Stored("late.txt", kC)})); }, NoSetup,
     0, "", {{"a.txt", kA}}, {"a.txt"}},
    {"an unknown method ends the run and the created file is gone",
     [] {
         return Zip({Stored("a.txt", kA), With(Stored("m.bin", kB), [](ZipEntry &e) { e.method = 12; })});
     },
     NoSetup, 2, "unknown compression\n", {{"a.txt", kA}}, {"a.txt"}},
    {"a wrong password stops the run before the file is created",
     [] {
         return Zip({Stored("a.txt", kA),
                     With(Stored("b.txt", kC), [](ZipEntry &e) { e.password = "other"; })});
     },
     NoSetup, 2, "INCORRECT PASSWORD\n", {{"a.txt", kA}}, {"a.txt"}},
    {"the built-in password opens entries, with and without a descriptor, one after another",
     [] {
         return Zip({With(Deflated("b.bin", kB), [](ZipEntry &e) { e.password = kBuiltIn; }),
                     With(Stored("c.txt", kA), [](ZipEntry &e) {
                         e.password = kBuiltIn;
                         e.descriptor = Descriptor::Signed;
                         e.crc = Crc32(kA);
                     })});
     },
     NoSetup, 0, "", {{"b.bin", kB}, {"c.txt", kA}}, {"b.bin", "c.txt"}},
    {"a caller's password replaces the built-in one",
     [] {
         return Zip({With(Deflated("b.bin", kB), [](ZipEntry &e) { e.password = "s3cret"; }),
                     With(Stored("c.txt", kA), [](ZipEntry &e) { e.password = "s3cret"; })});
     },
     [](Job &j, const std::string &) { j.password = "s3cret"; }, 0, "",
     {{"b.bin", kB}, {"c.txt", kA}}, {"b.bin", "c.txt"}},
    {"an encrypted entry skipped by the name list raises no password message",
     [] {
         return Zip({With(Stored("b.txt", kC), [](ZipEntry &e) { e.password = "other"; }),
                     Stored("a.txt", kA)});
     },
     [](Job &j, const std::string &) { j.names = {"a.txt"}; }, 0, "", {{"a.txt", kA}}, {"a.txt"}},
    {"an encrypted stored entry of just its header gives an empty file",
     [] { return Zip({With(Stored("e.txt", {}), [](ZipEntry &e) { e.password = kBuiltIn; })}); },
     NoSetup, 0, "", {{"e.txt", {}}}, {"e.txt"}},
    {"an encrypted entry shorter than its header is an invalid header",
     [] {
         return Zip({With(Stored("e.txt", kA), [](ZipEntry &e) {
             e.password = kBuiltIn;
             e.compressedSize = 11;
         })});
     },
     NoSetup, 2, "Invalid Zipfile Header\n", {}, {}},
    {"a CRC mismatch with crcErrorsFatal 1 ends the run and keeps the file",
     [] {
         return Zip({With(Stored("bad.txt", kA), [](ZipEntry &e) { e.crc = 0xdeadbeef; }),
                     Stored("c.txt", kC)});
     },
     NoSetup, 2, "ZIP damaged: file $D\\bad.txt: Bad CRC " + Hex8(Crc32(kA)) + " (should be deadbeef)\n",
     {{"bad.txt", kA}}, {"bad.txt"}},
    {"a CRC mismatch with crcErrorsFatal 0 keeps the file and goes on",
     [] {
         return Zip({With(Deflated("bad.bin", kB), [](ZipEntry &e) { e.crc = 0xdeadbeef; }),
                     Stored("c.txt", kC)});
     },
     [](Job &j, const std::string &) { j.crcErrorsFatal = 0; }, 0, "",
     {{"bad.bin", kB}, {"c.txt", kC}}, {"bad.bin", "c.txt"}},
    {"a CRC mismatch with crcErrorsFatal 2 is not fatal either",
     [] { return Zip({With(Stored("bad.txt", kA), [](ZipEntry &e) { e.crc = 1; })}); },
     [](Job &j, const std::string &) { j.crcErrorsFatal = 2; }, 0, "", {{"bad.txt", kA}},
     {"bad.txt"}},
    {"a Deflate stream that fails to decode ends the run and its file is gone",
     [] {
         return Zip({Stored("a.txt", kA),
                     With(Deflated("bad.bin", kB), [](ZipEntry &e) { e.payload = Bytes{0xff, 0xff, 0xff}; })});
     },
     NoSetup, 2, "ZIP damaged: file $D\\bad.bin: bad compressed data\n", {{"a.txt", kA}},
     {"a.txt", "bad.bin"}},
    {"a Deflate stream cut short ends the run and its file is gone",
     [] {
         Bytes half = Deflate(kB);
         half.resize(half.size() / 2);
         return Zip({With(Deflated("cut.bin", kB), [&](ZipEntry &e) { e.payload = half; })});
     },
     NoSetup, 2, "ZIP damaged: file $D\\cut.bin: bad compressed data\n", {}, {"cut.bin"}},
    {"a stored name longer than the name buffer is an invalid header",
     [] { return Zip({Stored(kLongName, kA)}); }, NoSetup, 2, "Invalid Zipfile Header\n", {}, {}},
    {"a stored name of 259 characters fits",
     [] { return Zip({Stored(kName259, kA)}); }, TestOnly, 0, "", {}, {kName259}},
    {"an output path longer than its buffer cannot be created",
     [] { return Zip({Stored("a.txt", kA), Stored(kName240, kA)}); }, NoSetup, 2,
     "Can't create output file: " + kName240 + "\n", {{"a.txt", kA}}, {"a.txt"}},
    {"a central directory name of any length is read past",
     [] {
         return Zip({With(Stored("a.txt", kA), [](ZipEntry &e) { e.centralName = kLongName + kLongName; })});
     },
     NoSetup, 0, "", {{"a.txt", kA}}, {"a.txt"}},
    {"an existing file is overwritten",
     [] { return Zip({Deflated("a.txt", kC)}); },
     [](Job &, const std::string &dest) { WriteFileBytes(dest + "/a.txt", RealBinary(100000)); }, 0,
     "", {{"a.txt", kC}}, {"a.txt"}},
    {"an existing read-only file cannot be created",
     [] { return Zip({Stored("ro.txt", kA)}); },
     [](Job &, const std::string &dest) {
         WriteFileBytes(dest + "/ro.txt", ToBytes("old"));
         chmod((dest + "/ro.txt").c_str(), 0444);
     },
     2, "Can't create output file: $D\\ro.txt\n", {{"ro.txt", ToBytes("old")}}, {}},
    {"entries around the chunk and window sizes",
     [] {
         return Zip({Stored("c28672", RealBinary(28672)), Stored("c28673", RealBinary(28673, 7)),
                     Deflated("w32768", RealBinary(32768, 9)), Deflated("big", RealBinary(300000, 11)),
                     Stored("s100000", RealText(100000))});
     },
     NoSetup, 0, "",
     {{"c28672", RealBinary(28672)},
      {"c28673", RealBinary(28673, 7)},
      {"w32768", RealBinary(32768, 9)},
      {"big", RealBinary(300000, 11)},
      {"s100000", RealText(100000)}},
     {"c28672", "c28673", "w32768", "big", "s100000"}},
};

class Walker : public testing::TestWithParam<WalkCase> {};

TEST_P(Walker, Case)
{
    const WalkCase &c = GetParam();
    TempDir root;
    std::string dest = root / "x/y/out";
    fs::create_directories(dest);
    Job job;
    job.archive = root / "arch.zip";
    job.destDir = dest.c_str();
    WriteFileBytes(job.archive, c.archive());
    c.setup(job, dest);
    RunResult r = RunJob(job);

    EXPECT_EQ(r.returned, 1);
    EXPECT_EQ(r.status, c.status);
    // The output path has every '/' turned into '\\', destDir's included.
    std::string shownDest = Substitute(dest, "/", "\\");
    std::string expected = Substitute(Substitute(c.messages, "$D", shownDest), "$A", job.archive);
    EXPECT_EQ(r.messages, expected);
    EXPECT_EQ(r.names, c.names);
    std::vector<std::string> wanted{"arch.zip"};
    for (auto &f : c.files)
        wanted.push_back("x/y/out/" + f.first);
    std::sort(wanted.begin(), wanted.end());
    EXPECT_EQ(ListFiles(root.path), wanted);
    for (auto &f : c.files) {
        if (FileExists(dest + "/" + f.first)) {
            EXPECT_TRUE(ReadFileBytes(dest + "/" + f.first) == f.second) << f.first;
        }
    }
    EXPECT_EQ(g_alloc.live, 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, Walker, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<WalkCase> &info) {
                             std::string name;
                             for (const char *p = info.param.title; *p; p++)
                                 name += isalnum((unsigned char)*p) ? *p : '_';
                             return name;
                         });

// ---- names that must never be written -------------------------------------

struct NameCase {
    const char *name;
    int keepPaths;
    bool refused;
};

const NameCase kNames[] = {
    // outside destDir with keepPaths
    {"../evil.txt", 1, true},
    {"a/../../evil.txt", 1, true},
    {"a\\..\\..\\evil.txt", 1, true},
    {"C:evil.txt", 1, true},
    {"C:\\evil.txt", 1, true},
    {"//evil.txt", 1, true},
    {"\\\\server\\share\\evil.txt", 1, true},
    {"... /evil.txt", 1, true},
    {".. /evil.txt", 1, true},
    {"a/.../evil.txt", 1, true},
    // a leaf that names the folder itself or its parent
    {".", 0, true},
    {"..", 0, true},
    {"a/..", 0, true},
    {"a\\...", 0, true},
    {". .", 0, true},
    // streams and devices, in both modes
    {"a:b.txt", 0, true},
    {"docs/file.txt:stream", 1, true},
    {"CON", 0, true},
    {"con.txt", 0, true},
    {"docs/Nul.tar.gz", 0, true},
    {"NUL .txt", 0, true},
    {"aux", 1, true},
    {"PRN.", 0, true},
    {"COM1", 0, true},
    {"com9.log", 1, true},
    {"LPT1.txt", 0, true},
    {"lpt9", 0, true},
    {"CONOUT$", 0, true},
    // lookalikes that are ordinary names
    {"CONSOLE.txt", 0, false},
    {"COM0.txt", 0, false},
    {"COM10", 0, false},
    {"LPT", 0, false},
    {"nul_x", 0, false},
    {"..a", 0, false},
    {"a..b", 0, false},
    {"docs/./ok.txt", 1, false},
    {"docs/...x/ok.txt", 1, false},
};

class UnsafeName : public testing::TestWithParam<NameCase> {};

TEST_P(UnsafeName, IsRefusedOrWritten)
{
    const NameCase &c = GetParam();
    TempDir root;
    std::string dest = root / "x/y/out";
    fs::create_directories(dest + "/docs/...x");
    fs::create_directories(dest + "/a");
    Job job;
    job.archive = root / "arch.zip";
    job.destDir = dest.c_str();
    job.keepPaths = c.keepPaths;
    WriteFileBytes(job.archive, Zip({Stored(c.name, kA)}));
    RunResult r = RunJob(job);
    std::vector<std::string> files = ListFiles(root.path);
    if (c.refused) {
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.messages, std::string("Can't create output file: ") + c.name + "\n");
        EXPECT_EQ(files, std::vector<std::string>{"arch.zip"});
        EXPECT_TRUE(r.names.empty());
    } else {
        EXPECT_EQ(r.status, 0) << r.messages;
        EXPECT_EQ(files.size(), 2u);
    }
}

INSTANTIATE_TEST_SUITE_P(Names, UnsafeName, testing::ValuesIn(kNames),
                         [](const testing::TestParamInfo<NameCase> &info) {
                             std::string name = std::to_string(info.index) + "_";
                             for (const char *p = info.param.name; *p; p++)
                                 name += isalnum((unsigned char)*p) ? *p : '_';
                             return name + (info.param.keepPaths ? "_keep" : "");
                         });

}  // namespace
