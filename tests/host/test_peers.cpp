// Archives made by other archivers from real files of this machine, read by
// the engine and by Info-ZIP unzip: the same files, byte for byte, with the
// same last-write times. The run is in a zone with daylight saving and the
// files carry winter and summer times, so that the local-time reading of the
// stored DOS times is put to the test; their seconds are even, so that no
// archiver's extra time fields can tell a different story than DOS time.
#include "engine_harness.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>

#include <filesystem>
#include <memory>

namespace {

namespace fs = std::filesystem;

const char kBuiltIn[] = "Marshwind\xA9 kestrel umber, lanterns by a moor";
const char kAscii[] = "Peer-made s3cret";

enum class Password { None, BuiltIn, Given };

struct PeerCase {
    const char *title;
    const char *command;     // run in the source folder; $PV_ZIP is the archive to make
    Password password;
    // p7zip converts a file's time to DOS time with the offset in force
    // today, not the one of the file's own date, so its summer times are an
    // hour off from the source (unzip and the engine still agree on them).
    bool keepsSourceTimes = true;
};

const PeerCase kPeers[] = {
    {"zip_0", "zip -X -q -r -0 \"$PV_ZIP\" .", Password::None},
    {"zip_1", "zip -X -q -r -1 \"$PV_ZIP\" .", Password::None},
    {"zip_2", "zip -X -q -r -2 \"$PV_ZIP\" .", Password::None},
    {"zip_3", "zip -X -q -r -3 \"$PV_ZIP\" .", Password::None},
    {"zip_4", "zip -X -q -r -4 \"$PV_ZIP\" .", Password::None},
    {"zip_5", "zip -X -q -r -5 \"$PV_ZIP\" .", Password::None},
    {"zip_6", "zip -X -q -r -6 \"$PV_ZIP\" .", Password::None},
    {"zip_7", "zip -X -q -r -7 \"$PV_ZIP\" .", Password::None},
    {"zip_8", "zip -X -q -r -8 \"$PV_ZIP\" .", Password::None},
    {"zip_9", "zip -X -q -r -9 \"$PV_ZIP\" .", Password::None},
    {"zip_to_a_pipe", "zip -X -q -r - . > \"$PV_ZIP\"", Password::None},
    {"zip_encrypted_builtin", "zip -X -q -r -9 -P \"$PV_PW\" \"$PV_ZIP\" .", Password::BuiltIn},
    {"zip_encrypted_stored_given", "zip -X -q -r -0 -P \"$PV_ASCII\" \"$PV_ZIP\" .", Password::Given},
    {"7z_mx0", "7z a -tzip -bd -bso0 -bsp0 -mx=0 \"$PV_ZIP\" .", Password::None, false},
    {"7z_mx1", "7z a -tzip -bd -bso0 -bsp0 -mx=1 \"$PV_ZIP\" .", Password::None, false},
    {"7z_mx5", "7z a -tzip -bd -bso0 -bsp0 -mx=5 \"$PV_ZIP\" .", Password::None, false},
    {"7z_mx9", "7z a -tzip -bd -bso0 -bsp0 -mx=9 \"$PV_ZIP\" .", Password::None, false},
    // 7-Zip takes only ASCII passwords for ZipCrypto, so not the built-in one.
    {"7z_zipcrypto_given", "7z a -tzip -bd -bso0 -bsp0 -mem=ZipCrypto -p\"$PV_ASCII\" \"$PV_ZIP\" .",
     Password::Given, false},
    {"bsdtar_deflate", "bsdtar --format zip -cf \"$PV_ZIP\" *", Password::None},
    {"bsdtar_store", "bsdtar --format zip --options zip:compression=store -cf \"$PV_ZIP\" *",
     Password::None},
    {"bsdtar_zipcrypt_builtin",
     "bsdtar --format zip --options zip:encryption=zipcrypt --passphrase \"$PV_PW\" -cf \"$PV_ZIP\" *",
     Password::BuiltIn},
    {"bsdtar_zipcrypt_store_given",
     "bsdtar --format zip --options zip:compression=store,zip:encryption=zipcrypt "
     "--passphrase \"$PV_ASCII\" -cf \"$PV_ZIP\" *",
     Password::Given},
    {"python_stored",
     "python3 -c \"$PV_PYTHON\" ZIP_STORED 0", Password::None},
    {"python_deflated_1",
     "python3 -c \"$PV_PYTHON\" ZIP_DEFLATED 1", Password::None},
    {"python_deflated_9",
     "python3 -c \"$PV_PYTHON\" ZIP_DEFLATED 9", Password::None},
};

// Every file and folder below the current folder, in a stable order.
const char kPython[] =
    "import os, sys, zipfile\n"
    "z = zipfile.ZipFile(os.environ['PV_ZIP'], 'w', getattr(zipfile, sys.argv[1]),\n"
    "                    compresslevel=int(sys.argv[2]) or None)\n"
    "for d, dirs, files in sorted(os.walk('.')):\n"
    "    for n in sorted(dirs) + sorted(files):\n"
    "        z.write(os.path.join(d, n))\n"
    "z.close()\n";

// Local times, alternately in winter and in summer, all on even seconds.
void Stamp(const std::string &path, int index)
{
    struct tm tm = {};
    tm.tm_year = 2021 - 1900 + index % 3;
    tm.tm_mon = index % 2 ? 6 : 0;
    tm.tm_mday = 3 + index;
    tm.tm_hour = 1 + 2 * index;
    tm.tm_min = 7 * index;
    tm.tm_sec = 2 * index;
    tm.tm_isdst = -1;
    struct timespec times[2] = {{mktime(&tm), 0}, {mktime(&tm), 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

class Peers : public testing::TestWithParam<PeerCase> {
protected:
    static std::unique_ptr<TempDir> s_source;
    static std::unique_ptr<ZoneScope> s_zone;

    static void SetUpTestSuite()
    {
        s_zone = std::make_unique<ZoneScope>("Europe/Berlin");
        s_source = std::make_unique<TempDir>();
        const TempDir &src = *s_source;
        fs::create_directories(src / "sub");
        std::string text = FirstExisting({"/usr/share/common-licenses/GPL-3", "/etc/services"});
        std::string other = FirstExisting({"/usr/share/common-licenses/Apache-2.0", "/etc/passwd"});
        std::string binary = FirstExisting({"/usr/lib/x86_64-linux-gnu/libc.so.6", "/bin/sh"});
        Bytes lib = ReadFileBytes(binary);
        const std::pair<std::string, Bytes> files[] = {
            {"licence.txt", ReadFileBytes(text)},
            {"library.bin", lib},
            {"services", ReadFileBytes(FirstExisting({"/etc/services", text}))},
            {"chunk.bin", Bytes(lib.begin(), lib.begin() + 28672)},
            {"window.bin", Bytes(lib.begin() + 1000, lib.begin() + 1000 + 32769)},
            {"empty", {}},
            {"sub/other.txt", ReadFileBytes(other)},
        };
        int index = 0;
        for (auto &f : files) {
            WriteFileBytes(src / f.first, f.second);
            Stamp(src / f.first, index++);
        }
        setenv("PV_SRC", src.path.c_str(), 1);
        setenv("PV_PW", kBuiltIn, 1);
        setenv("PV_ASCII", kAscii, 1);
        setenv("PV_PYTHON", kPython, 1);
    }

    static void TearDownTestSuite()
    {
        s_source.reset();
        s_zone.reset();
    }
};

std::unique_ptr<TempDir> Peers::s_source;
std::unique_ptr<ZoneScope> Peers::s_zone;

bool HaveTool(const std::string &command)
{
    std::string tool = command.substr(0, command.find(' '));
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

TEST_P(Peers, ExtractTheSameFilesWithTheSameTimesAsUnzip)
{
    const PeerCase &c = GetParam();
    if (!HaveTool(c.command) || !HaveTool("unzip"))
        GTEST_SKIP() << "the archiver is not installed";
    TempDir work;
    std::string zip = work / "peer.zip", ref = work / "ref", out = work / "out";
    setenv("PV_ZIP", zip.c_str(), 1);
    ASSERT_EQ(std::system((std::string("cd \"$PV_SRC\" && ") + c.command).c_str()), 0) << c.command;

    std::string password = c.password == Password::BuiltIn ? "-P \"$PV_PW\" "
                           : c.password == Password::Given ? "-P \"$PV_ASCII\" "
                                                           : "";
    std::string unzip = "unzip -o -q " + password + "\"$PV_ZIP\" -d \"" + ref + "\"";
    ASSERT_EQ(std::system(unzip.c_str()), 0) << unzip;

    // The engine creates no folders: those of the archive are made for it.
    fs::create_directories(out);
    for (auto &e : fs::recursive_directory_iterator(ref)) {
        if (e.is_directory())
            fs::create_directories(out + "/" + fs::relative(e.path(), ref).string());
    }
    Job job;
    job.archive = zip;
    job.destDir = out.c_str();
    job.keepPaths = 1;
    job.password = c.password == Password::Given ? kAscii : nullptr;
    RunResult r = RunJob(job);
    ASSERT_EQ(r.status, 0) << r.messages;
    EXPECT_EQ(r.messages, "");

    std::vector<std::string> files = ListFiles(ref);
    ASSERT_EQ(ListFiles(out), files);
    EXPECT_EQ(files.size(), 7u);
    for (const std::string &f : files) {
        EXPECT_TRUE(ReadFileBytes(out + "/" + f) == ReadFileBytes(ref + "/" + f)) << f;
        EXPECT_EQ(ModTime(out + "/" + f), ModTime(ref + "/" + f)) << f;
        if (c.keepsSourceTimes) {
            EXPECT_EQ(ModTime(out + "/" + f), ModTime(s_source->path + "/" + f)) << f;
        }
    }

    job.destDir = nullptr;
    RunResult test = RunJob(job);
    EXPECT_EQ(test.status, 0) << test.messages;
    EXPECT_EQ(test.names.size(), files.size());
}

INSTANTIATE_TEST_SUITE_P(Archivers, Peers, testing::ValuesIn(kPeers),
                         [](const testing::TestParamInfo<PeerCase> &i) { return i.param.title; });

}  // namespace
