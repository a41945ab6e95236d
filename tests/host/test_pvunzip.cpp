// pvunzip as a user runs it: its options, what it prints, its exit status,
// and Ctrl-C in the middle of an entry.
#include "engine_harness.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <thread>

namespace {

namespace fs = std::filesystem;

const Bytes kA = RealText(300);
const Bytes kB = RealBinary(70000, 4096);
const Bytes kC = RealText(5000, 20000);
const Bytes kStub = RealBinary(2000, 100);

Bytes MainArchive()
{
    return ZipWriter()
        .Add(Entry("a.txt", kA, 0))
        .Add(Entry("docs/readme.txt", kC, 8))
        .Add(Entry("empty", {}, 0))
        .Add(Entry("b.bin", kB, 8))
        .Finish();
}

struct Outcome {
    int exit = -1;
    std::string out, err;
};

std::string ReadText(const std::string &path)
{
    Bytes b = ReadFileBytes(path);
    return std::string(b.begin(), b.end());
}

pid_t Spawn(const std::vector<std::string> &args, const std::string &cwd, const std::string &out,
            const std::string &err)
{
    pid_t pid = fork();
    if (pid == 0) {
        int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (o < 0 || e < 0 || dup2(o, 1) < 0 || dup2(e, 2) < 0 || chdir(cwd.c_str()) != 0)
            _exit(127);
        std::vector<char *> argv{const_cast<char *>(PVUNZIP_PATH)};
        for (const std::string &a : args)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        execv(PVUNZIP_PATH, argv.data());
        _exit(127);
    }
    return pid;
}

int Wait(pid_t pid)
{
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

Outcome Pvunzip(const std::vector<std::string> &args, const std::string &cwd, const TempDir &logs)
{
    Outcome r;
    r.exit = Wait(Spawn(args, cwd, logs / "stdout", logs / "stderr"));
    r.out = ReadText(logs / "stdout");
    r.err = ReadText(logs / "stderr");
    return r;
}

std::string Substitute(std::string text, const std::string &from, const std::string &to)
{
    for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
    return text;
}

using Files = std::map<std::string, Bytes>;

struct CliCase {
    const char *title;
    std::vector<std::string> args;      // $S: the folder of the archives, $D: an empty folder
    int exit;
    std::string out;
    std::string err;                    // ends with "..." when only its start is given
    Files files;                        // the whole content of $D afterwards
    std::function<void(const std::string &dest)> setup = nullptr;
    bool inDest = false;                // run with $D as the current folder
};

const std::string kAll = "  a.txt\n  readme.txt\n  empty\n  b.bin\n";
const Files kAllFiles = {{"a.txt", kA}, {"readme.txt", kC}, {"empty", {}}, {"b.bin", kB}};

const CliCase kCli[] = {
    {"no archive is a usage error", {}, 1, "", "pvunzip: no archive given\nusage: pvunzip...", {}},
    {"help", {"-h"}, 0, "usage: pvunzip [options] ARCHIVE [NAME...]\n...", "", {}},
    {"long help", {"--help"}, 0, "usage: pvunzip [options] ARCHIVE [NAME...]\n...", "", {}},
    {"an unknown option", {"--bogus", "$S/main.zip"}, 1, "",
     "pvunzip: unknown option or missing value\nusage:...", {}},
    {"an option without its value", {"$S/main.zip", "-d"}, 1, "",
     "pvunzip: unknown option or missing value\n...", {}},
    {"an offset that is no number", {"-O", "12x", "$S/main.zip"}, 1, "", "pvunzip: bad offset\n...", {}},
    {"a negative offset", {"-O", "-5", "$S/main.zip"}, 1, "", "pvunzip: bad offset\n...", {}},
    {"extract into a folder", {"-d", "$D", "$S/main.zip"}, 0, kAll, "", kAllFiles},
    {"extract into a folder, long option", {"$S/main.zip", "--dir", "$D"}, 0, kAll, "", kAllFiles},
    {"extract into the current folder", {"$S/main.zip"}, 0, kAll, "", kAllFiles, nullptr, true},
    {"a test-only run writes nothing", {"-t", "$S/main.zip"}, 0,
     "  a.txt\n  readme.txt\n  empty\n  b.bin\n", "", {}, nullptr, true},
    {"a test-only run, long option", {"--test", "$S/main.zip"}, 0,
     "  a.txt\n  readme.txt\n  empty\n  b.bin\n", "", {}, nullptr, true},
    {"names select entries, any case, either separator",
     {"-d", "$D", "$S/main.zip", "DOCS\\README.TXT", "b.bin"}, 0, "  readme.txt\n  b.bin\n", "",
     {{"readme.txt", kC}, {"b.bin", kB}}},
    {"keep paths", {"-k", "-d", "$D", "$S/main.zip"}, 0, kAll, "",
     {{"a.txt", kA}, {"docs/readme.txt", kC}, {"empty", {}}, {"b.bin", kB}},
     [](const std::string &dest) { fs::create_directories(dest + "/docs"); }},
    {"keep paths needs the folders", {"--keep-paths", "-d", "$D", "$S/main.zip"}, 2, "  a.txt\n",
     "Can't create output file: $D\\docs\\readme.txt\n", {{"a.txt", kA}}},
    {"skip empty entries", {"-e", "-d", "$D", "$S/main.zip"}, 0, "  a.txt\n  readme.txt\n  b.bin\n",
     "", {{"a.txt", kA}, {"readme.txt", kC}, {"b.bin", kB}}},
    {"skip empty entries, long option", {"--skip-empty", "-t", "$S/main.zip"}, 0,
     "  a.txt\n  readme.txt\n  b.bin\n", "", {}},
    {"a password", {"-P", "s3cret", "-d", "$D", "$S/enc.zip"}, 0, "  a.txt\n", "", {{"a.txt", kA}}},
    {"a password, long option", {"--password", "s3cret", "-t", "$S/enc.zip"}, 0, "  a.txt\n", "", {}},
    {"the built-in password does not open it", {"-d", "$D", "$S/enc.zip"}, 2, "",
     "INCORRECT PASSWORD\n", {}},
    {"an archive behind a stub", {"-O", std::to_string(kStub.size()), "-d", "$D", "$S/stub.zip"}, 0,
     kAll, "", kAllFiles},
    {"an offset in hexadecimal", {"--offset", "0x7d0", "-t", "$S/stub.zip"}, 0,
     "  a.txt\n  readme.txt\n  empty\n  b.bin\n", "", {}},
    {"a damaged CRC fails", {"-d", "$D", "$S/bad.zip"}, 2, "  a.txt\n",
     "ZIP damaged: file $D\\a.txt: Bad CRC " + Hex8(Crc32(kA)) + " (should be 00000001)\n",
     {{"a.txt", kA}}},
    {"a damaged CRC is let through", {"--ignore-crc", "-d", "$D", "$S/bad.zip"}, 0, "  a.txt\n  b.bin\n",
     "", {{"a.txt", kA}, {"b.bin", kB}}},
    {"an archive that cannot be opened", {"-d", "$D", "$S/missing.zip"}, 2, "",
     "Can't open input file: $S/missing.zip\n", {}},
    {"after -- a name that starts with '-'", {"-t", "--", "-odd.zip"}, 0, "  a.txt\n", "", {},
     [](const std::string &dest) {
         WriteFileBytes(dest + "/-odd.zip", ZipWriter().Add(Entry("a.txt", kA, 8)).Finish());
     },
     true},
};

class Cli : public testing::TestWithParam<CliCase> {};

TEST_P(Cli, Case)
{
    const CliCase &c = GetParam();
    TempDir scratch, logs;
    std::string dest = scratch / "dest";
    fs::create_directories(dest);
    ZipEntry enc = Entry("a.txt", kA, 8);
    enc.password = "s3cret";
    ZipEntry bad = Entry("a.txt", kA, 0);
    bad.crc = 1;
    WriteFileBytes(scratch / "main.zip", MainArchive());
    WriteFileBytes(scratch / "enc.zip", ZipWriter().Add(enc).Finish());
    Bytes stub = kStub;
    Bytes main = MainArchive();
    stub.insert(stub.end(), main.begin(), main.end());
    WriteFileBytes(scratch / "stub.zip", stub);
    WriteFileBytes(scratch / "bad.zip", ZipWriter().Add(bad).Add(Entry("b.bin", kB, 8)).Finish());
    if (c.setup)
        c.setup(dest);

    auto fill = [&](const std::string &text) {
        return Substitute(Substitute(text, "$S", scratch.path), "$D", dest);
    };
    std::vector<std::string> args;
    for (const std::string &a : c.args)
        args.push_back(fill(a));
    Outcome r = Pvunzip(args, c.inDest ? dest : scratch.path, logs);

    EXPECT_EQ(r.exit, c.exit);
    auto expectText = [](const std::string &got, const std::string &want) {
        if (want.size() >= 3 && want.compare(want.size() - 3, 3, "...") == 0)
            EXPECT_EQ(got.substr(0, want.size() - 3), want.substr(0, want.size() - 3));
        else
            EXPECT_EQ(got, want);
    };
    expectText(r.out, c.out);
    // Messages name the output path with every '/' turned into '\'.
    std::string err = Substitute(c.err, "$D", Substitute(dest, "/", "\\"));
    expectText(r.err, Substitute(err, "$S", scratch.path));

    std::vector<std::string> wanted;
    for (auto &f : c.files)
        wanted.push_back(f.first);
    std::vector<std::string> got = ListFiles(dest);
    got.erase(std::remove(got.begin(), got.end(), "-odd.zip"), got.end());
    EXPECT_EQ(got, wanted);
    for (auto &f : c.files) {
        if (FileExists(dest + "/" + f.first)) {
            EXPECT_TRUE(ReadFileBytes(dest + "/" + f.first) == f.second) << f.first;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Options, Cli, testing::ValuesIn(kCli),
                         [](const testing::TestParamInfo<CliCase> &info) {
                             std::string name;
                             for (const char *p = info.param.title; *p; p++)
                                 name += isalnum((unsigned char)*p) ? *p : '_';
                             return name;
                         });

// The archive comes through a named pipe, so that pvunzip is surely in the
// middle of the second entry, waiting for more data, when Ctrl-C comes.
TEST(Pvunzip, CtrlCCancelsWith99AndDeletesTheEntryBeingWritten)
{
    signal(SIGPIPE, SIG_IGN);
    TempDir scratch, logs;
    std::string pipe = scratch / "pipe.zip", dest = scratch / "dest";
    fs::create_directories(dest);
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    Bytes big = RealBinary(400000);
    Bytes archive = ZipWriter().Add(Entry("first.txt", kA, 0)).Add(Entry("big.bin", big, 0)).Finish();
    size_t firstPart = archive.size() - big.size() + 3 * 28672;

    pid_t pid = Spawn({pipe, "-d", dest}, scratch.path, logs / "stdout", logs / "stderr");
    int fd = open(pipe.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, archive.data(), firstPart), (ssize_t)firstPart);
    for (int i = 0; i < 500 && !FileExists(dest + "/big.bin"); i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(FileExists(dest + "/big.bin"));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    kill(pid, SIGINT);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ssize_t rest = write(fd, archive.data() + firstPart, archive.size() - firstPart);
    (void)rest;
    close(fd);

    EXPECT_EQ(Wait(pid), 99);
    EXPECT_EQ(ListFiles(dest), std::vector<std::string>{"first.txt"});
    EXPECT_EQ(ReadText(logs / "stdout"), "  first.txt\n  big.bin\n");
    EXPECT_EQ(ReadText(logs / "stderr"), "");
}

}  // namespace
