// The engine's run frame: one run at a time, its buffers and their failure,
// the archive path rule, the progress reports and the user's cancel, and the
// time stamps of extracted files in zones with daylight saving.
#include "engine.h"
#include "engine_harness.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

const Bytes kA = RealText(300);
const Bytes kBig = RealBinary(100000, 512);
const Bytes kHuge = RealBinary(400000, 512);   // deflated, several chunks of dynamic blocks

struct Scratch {
    TempDir root;
    std::string dest = root / "out";
    Job job;

    explicit Scratch(const Bytes &archive)
    {
        fs::create_directories(dest);
        job.archive = root / "arch.zip";
        job.destDir = dest.c_str();
        WriteFileBytes(job.archive, archive);
    }
};

TEST(Frame, ASecondRunFromInsideANotificationReturnsZeroAndLeavesItsRecordAlone)
{
    Scratch s(ZipWriter().Add(Entry("a.txt", kA, 0)).Add(Entry("b.txt", kA, 8)).Finish());
    ExtractOptions inner = {};
    inner.archivePath = s.job.archive.c_str();
    inner.destDir = s.dest.c_str();
    inner.status = 77;
    int innerResult = -1;
    g_script.onName = [&](const char *) { innerResult = RunExtraction(&inner); };
    RunResult r = RunJob(s.job);
    EXPECT_EQ(innerResult, 0);
    EXPECT_EQ(inner.status, 77);
    EXPECT_EQ(r.returned, 1);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(ListFiles(s.dest), (std::vector<std::string>{"a.txt", "b.txt"}));
}

TEST(Frame, ACompletedRunLeavesTheStatusAsTheCallerSetIt)
{
    Scratch s(ZipWriter().Add(Entry("a.txt", kA, 8)).Finish());
    ExtractOptions o = {};
    o.archivePath = s.job.archive.c_str();
    o.destDir = s.dest.c_str();
    o.notifyWindow = TestWindow();
    o.status = 5;
    EXPECT_EQ(RunExtraction(&o), 1);
    EXPECT_EQ(o.status, 5);
}

// The three buffers of the run come first, then the password copy, then the
// decoder's tables; every one of them can fail.
struct AllocCase {
    unsigned failAt;
    const char *password;
    bool archiveExists;
};

class AllocFailure : public testing::TestWithParam<AllocCase> {};

TEST_P(AllocFailure, IsInsufficientMemory)
{
    const AllocCase &c = GetParam();
    Scratch s(ZipWriter().Add(Entry("a.txt", RealText(40000), 8)).Finish());
    if (!c.archiveExists)
        s.job.archive = s.root / "absent.zip";
    s.job.password = c.password;
    g_alloc = AllocControl();
    g_alloc.failAt = c.failAt;
    RunResult r = RunJob(s.job);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.messages.find("Insufficient memory\n"), std::string::npos) << r.messages;
    EXPECT_EQ(r.messages.find("Can't open"), std::string::npos) << "the archive was opened";
    EXPECT_TRUE(ListFiles(s.dest).empty());
    EXPECT_EQ(g_alloc.live, 0);
    g_alloc = AllocControl();
}

INSTANTIATE_TEST_SUITE_P(Blocks, AllocFailure,
                         testing::Values(AllocCase{1, nullptr, false}, AllocCase{2, nullptr, false},
                                         AllocCase{3, nullptr, false}, AllocCase{4, "pw", false},
                                         AllocCase{4, nullptr, true}, AllocCase{5, nullptr, true},
                                         AllocCase{6, nullptr, true}));

// Every allocation of a run over several dynamic blocks, failed in turn: the
// run ends cleanly each time and gives back every block it took.
TEST(Frame, EveryAllocationFailingInTurnLeavesNothingBehind)
{
    Scratch s(ZipWriter()
                  .Add(Entry("a.bin", RealBinary(200000), 8))
                  .Add(Entry("b.txt", RealText(100000), 8))
                  .Finish());
    for (unsigned n = 1;; n++) {
        g_alloc = AllocControl();
        g_alloc.failAt = n;
        RunResult r = RunJob(s.job);
        ASSERT_EQ(g_alloc.live, 0) << "allocation " << n;
        if (r.status == 0) {
            EXPECT_GT(n, 4u);
            break;
        }
        ASSERT_EQ(r.status, 2);
        ASSERT_NE(r.messages.find("Insufficient memory\n"), std::string::npos) << n;
        ASSERT_LT(n, 10000u);
    }
    g_alloc = AllocControl();
}

struct PathCase {
    const char *stored;      // where the archive is, below the scratch folder
    const char *given;       // the archivePath passed
    int status;
};

class ArchivePath : public testing::TestWithParam<PathCase> {};

TEST_P(ArchivePath, GetsZipAppendedOnlyWithoutAnyDot)
{
    const PathCase &c = GetParam();
    TempDir root;
    ASSERT_EQ(root.path.find('.'), std::string::npos) << "the scratch folder's path has a dot";
    fs::create_directories(root / "d.1");
    fs::create_directories(root / "d2");
    WriteFileBytes(root / c.stored, ZipWriter().Add(Entry("a.txt", kA, 0)).Finish());
    std::string out = root / "out";
    fs::create_directories(out);
    Job job;
    job.archive = root / c.given;
    job.destDir = out.c_str();
    RunResult r = RunJob(job);
    EXPECT_EQ(r.status, c.status);
    if (c.status == 0)
        EXPECT_EQ(r.messages, "");
    else
        EXPECT_EQ(r.messages, "Can't open input file: " + job.archive + (strchr(c.given, '.') ? "" : ".ZIP") + "\n");
}

INSTANTIATE_TEST_SUITE_P(Rule, ArchivePath,
                         testing::Values(PathCase{"d2/setup.ZIP", "d2/setup", 0},
                                         PathCase{"d2/setup", "d2/setup", 2},
                                         PathCase{"d.1/setup", "d.1/setup", 0},
                                         PathCase{"d.1/setup.ZIP", "d.1/setup", 2},
                                         PathCase{"d2/setup.pv", "d2/setup.pv", 0}));

// ---- progress and cancel ----------------------------------------------------

// A stored entry of 100000 bytes comes in chunks of 28672, 28672, 28672 and
// 13984; a report is due once 10240 bytes have come since the last, and
// every entry starts with one of its own.
TEST(Progress, ReportsCountArchiveBytesInUnitsOf10240)
{
    Scratch s(ZipWriter().Add(Entry("big", kBig, 0)).Add(Entry("small", RealText(5000), 0)).Finish());
    RunResult r = RunJob(s.job);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.progress, (std::vector<unsigned>{0, 2, 5, 8, 9, 9}));
    EXPECT_EQ(r.names, (std::vector<std::string>{"big", "small"}));
}

TEST(Progress, TheEncryptionHeaderIsNotCounted)
{
    ZipEntry e = Entry("big", kBig, 0);
    e.password = "Marshwind\xA9 kestrel umber, lanterns by a moor";
    Scratch s(ZipWriter().Add(e).Finish());
    RunResult r = RunJob(s.job);
    EXPECT_EQ(r.status, 0) << r.messages;
    EXPECT_EQ(r.progress, (std::vector<unsigned>{0, 2, 5, 8, 9}));
}

struct CancelCase {
    const char *title;
    unsigned cancelAt;
    std::vector<std::string> kept;
};

class Cancel : public testing::TestWithParam<CancelCase> {};

TEST_P(Cancel, EndsWith99AndDeletesThePartlyWrittenFile)
{
    const CancelCase &c = GetParam();
    Scratch s(ZipWriter().Add(Entry("small", kA, 0)).Add(Entry("big", kHuge, 8)).Finish());
    g_script.cancelAtProgress = c.cancelAt;
    RunResult r = RunJob(s.job);
    EXPECT_EQ(r.status, 99);
    EXPECT_EQ(r.messages, "");
    EXPECT_EQ(ListFiles(s.dest), c.kept);
    EXPECT_EQ(g_alloc.live, 0);
}

INSTANTIATE_TEST_SUITE_P(Replies, Cancel,
                         testing::Values(CancelCase{"first", 1, {}},
                                         CancelCase{"secondEntry", 2, {"small"}},
                                         CancelCase{"firstChunk", 3, {"small"}},
                                         CancelCase{"insideABlock", 5, {"small"}}),
                         [](const testing::TestParamInfo<CancelCase> &i) { return i.param.title; });

// The progress dialog's cancel arrives as a posted message that the engine's
// pump dispatches; the run ends as soon as the pump returns.
TEST(Cancel, AFlagSetWhileThePumpDispatchesEndsTheRun)
{
    Scratch s(ZipWriter().Add(Entry("small", kA, 0)).Add(Entry("big", kBig, 0)).Finish());
    static const UINT kConfirm = WM_USER + 7;
    unsigned reports = 0;
    g_script.onProgress = [&] {
        if (++reports == 2)
            PostMessageA(TestWindow(), kConfirm, 0, 0);
    };
    g_script.onOther = [&](UINT message) {
        if (message == kConfirm)
            g_cancelRequested = 1;
    };
    RunResult r = RunJob(s.job);
    g_cancelRequested = 0;
    EXPECT_EQ(r.status, 99);
    EXPECT_EQ(r.progress.size(), 2u);
    EXPECT_EQ(ListFiles(s.dest), (std::vector<std::string>{"small"}));
}

// ---- time stamps -------------------------------------------------------------

struct TimeCase {
    const char *zone;
    int year, month, day, hour, minute, second;
    long long utc;     // seconds since 1970
};

class TimeStamp : public testing::TestWithParam<TimeCase> {};

TEST_P(TimeStamp, IsTheDosTimeAsLocalTimeOfItsOwnDate)
{
    const TimeCase &c = GetParam();
    ZoneScope zone(c.zone);
    ZipEntry e = Entry("t.txt", kA, 8);
    e.date = DosDate(c.year, c.month, c.day);
    e.time = DosTime(c.hour, c.minute, c.second);
    Scratch s(ZipWriter().Add(e).Finish());
    RunResult r = RunJob(s.job);
    ASSERT_EQ(r.status, 0) << r.messages;
    EXPECT_EQ(ModTime(s.dest + "/t.txt"), c.utc);
}

INSTANTIATE_TEST_SUITE_P(
    Zones, TimeStamp,
    testing::Values(TimeCase{"Europe/Berlin", 2023, 1, 15, 10, 0, 0, 1673773200},
                    TimeCase{"Europe/Berlin", 2023, 7, 15, 10, 0, 0, 1689408000},
                    TimeCase{"Europe/Berlin", 2023, 7, 15, 10, 0, 3, 1689408002},
                    TimeCase{"America/New_York", 2023, 1, 15, 10, 0, 0, 1673794800},
                    TimeCase{"America/New_York", 2023, 7, 15, 10, 0, 0, 1689429600},
                    TimeCase{"Australia/Sydney", 2023, 1, 15, 10, 0, 0, 1673737200},
                    TimeCase{"Australia/Sydney", 2023, 7, 15, 10, 0, 0, 1689379200},
                    TimeCase{"UTC", 2023, 7, 15, 10, 0, 0, 1689415200}));

}  // namespace

namespace {

// The CRC over a block, however long and wherever it starts, and however a
// stream is cut into blocks, is the one zlib computes over the same bytes.
TEST(Crc, MatchesZlibForEveryLengthOffsetAndCut)
{
    Bytes data = RealBinary(70000, 333);
    for (unsigned length : {0u, 1u, 7u, 8u, 9u, 2047u, 2048u, 4095u, 4096u, 4103u, 28671u,
                            28672u, 28673u, 65536u, 70000u}) {
        for (unsigned offset : {0u, 1u, 3u}) {
            if (offset + length > data.size())
                continue;
            g_crc = 0xFFFFFFFFu;
            UpdateCrc32(data.data() + offset, length);
            uint32_t want = (uint32_t)crc32(0, data.data() + offset, length);
            EXPECT_EQ(~g_crc, want) << length << " at " << offset;
        }
    }
    for (unsigned cut : {1u, 100u, 2048u, 5000u, 28672u, 40000u}) {
        g_crc = 0xFFFFFFFFu;
        UpdateCrc32(data.data(), cut);
        UpdateCrc32(data.data() + cut, (unsigned)data.size() - cut);
        EXPECT_EQ(~g_crc, (uint32_t)crc32(0, data.data(), (uInt)data.size())) << "cut at " << cut;
    }
}

}  // namespace
