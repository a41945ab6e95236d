// Whole runs of the setup sequence: each test lays out a distribution folder,
// runs the setup harness from it as its own process with a script of
// answers, and checks every box it showed and what it left on disk.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "distfolder.h"
#include "testwindow.h"

namespace {

const char kProductRunning[] =
    "Another version of Parvek is running.  Please close it and re-run SETUP";
const char kNotInstalled[] = "The software has not been successfully installed.\nYou must run "
                             "Setup again before using the software.";

std::string Box(const char *owner, const char *icon, const std::string &text,
                const char *caption = "Parvek Setup", bool overProgress = false)
{
    return std::string("box owner=") + owner + " icon=" + icon + " caption=" + caption +
           " text=" + text + (overProgress ? " [over progress]" : "") + "\n";
}

std::string Dialog100(const std::string &folder)
{
    return "dialog 100 owner=none icon=none caption=Parvek Setup text=" + folder + "\n";
}

const char kProposal[] = "C:\\Program Files\\Parvek";
const char kDialog300[] = "dialog 300 owner=none icon= caption=Parvek Setup text=\n";

TEST(Sequence, RunningProductStopsSetupBeforeAnything)
{
    for (const char *cls : {"ParvekWClass", "Parvek2WClass"}) {
        HWND product = CreateTestWindow(cls);
        ASSERT_TRUE(product);
        DistFolder dist("good.pv");
        EXPECT_EQ(Box("none", "error", kProductRunning), dist.Run({}));
        EXPECT_FALSE(Exists(dist.installDir));
        DestroyWindow(product);
    }
}

TEST(Sequence, SecondCopyOfSetupIsRefused)
{
    HANDLE mutex = CreateMutexA(NULL, FALSE, "ParvekSetupRunning");
    DistFolder dist("good.pv");
    EXPECT_EQ(Box("none", "error", "Setup is already running"), dist.Run({}));
    CloseHandle(mutex);
}

TEST(Sequence, CancelInFolderDialogInstallsNothing)
{
    DistFolder dist("good.pv");
    std::string seen = dist.Run({"cancel"});
    EXPECT_EQ(Dialog100(kProposal) + Box("none", "information", kNotInstalled), seen);
    EXPECT_FALSE(Exists(dist.installDir));
}

TEST(Sequence, InstallsAndHandsOverWithQuotedPath)
{
    DistFolder dist("good.pv");
    std::string seen = dist.Run({"dir:" + dist.installDir});
    EXPECT_EQ(Dialog100(kProposal) + kDialog300, seen);
    std::string main = dist.installDir + "\\PARVEK32.EXE";
    EXPECT_TRUE(Exists(main));
    EXPECT_FALSE(Exists(dist.installDir + "\\PARVEK32.EX_"));
    EXPECT_TRUE(SameFile(dist.installDir + "\\README.TXT", dist.sourceDir + "\\README.TXT"));
    EXPECT_TRUE(SameFile(dist.installDir + "\\notes.txt", FixturePath("product\\notes.txt")));
    std::vector<std::string> handoff = WaitForHandoff(dist.installDir);
    ASSERT_EQ(2u, handoff.size());
    EXPECT_EQ("\"" + main + "\" /installR", handoff[0]);
    EXPECT_EQ(dist.installDir, handoff[1]);
}

TEST(Sequence, ExistingMainProgramIsReplaced)
{
    DistFolder dist("good.pv");
    CreateDirectoryA(dist.installDir.c_str(), NULL);
    WriteFile(dist.installDir + "\\PARVEK32.EXE", "an older copy");
    dist.Run({"dir:" + dist.installDir});
    EXPECT_TRUE(SameFile(dist.installDir + "\\PARVEK32.EXE", FixturePath("PARVEK32.EX_")));
    EXPECT_EQ(2u, WaitForHandoff(dist.installDir).size());
}

TEST(Sequence, FailedRenameOfMainProgramIsReported)
{
    DistFolder dist("nomain.pv");
    std::string seen = dist.Run({"dir:" + dist.installDir});
    std::string main = dist.installDir + "\\PARVEK32.EXE";
    EXPECT_EQ(Dialog100(kProposal) + kDialog300 +
                  Box("progress", "error", "Cannot open " + main + " for writing", "Parvek Setup",
                      true) +
                  Box("none", "information", kNotInstalled, "Parvek Setup", true),
              seen);
}

TEST(Sequence, SecondCommandFormStartsWhenFirstCannot)
{
    DistFolder dist("badmain.pv");
    CopyFileA(FixturePath("PARVEK32.EX_").c_str(), (dist.sourceDir + "\\PARVEK32.EXE").c_str(),
              FALSE);
    std::string seen = dist.Run({"dir:" + dist.installDir});
    EXPECT_EQ(Dialog100(kProposal) + kDialog300, seen);
    std::vector<std::string> handoff = WaitForHandoff(dist.installDir);
    ASSERT_EQ(2u, handoff.size());
    EXPECT_EQ("PARVEK32.EXE /installR", handoff[0]);
    EXPECT_EQ(dist.installDir, handoff[1]);
}

TEST(Sequence, NeitherCommandFormStarts)
{
    DistFolder dist("badmain.pv");
    std::string seen = dist.Run({"dir:" + dist.installDir});
    EXPECT_EQ(Dialog100(kProposal) + kDialog300 +
                  Box("none", "none", "Error running " + dist.installDir + "\\PARVEK32.EXE",
                      "Error"),
              seen);
}

TEST(Sequence, DamagedPayloadIsNotInstalled)
{
    DistFolder dist("badcrc.pv");
    std::string seen = dist.Run({"dir:" + dist.installDir});
    EXPECT_NE(std::string::npos, seen.find("box owner=progress icon=error caption=Error text=ZIP "
                                           "damaged: file "))
        << seen;
    EXPECT_NE(std::string::npos, seen.find(Box("none", "information", kNotInstalled))) << seen;
    EXPECT_FALSE(Exists(dist.installDir + "\\PARVEK32.EXE"));
}

}  // namespace
