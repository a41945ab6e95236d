// A distribution folder for one test: the setup harness as SETUP.EXE, the
// seven loose files with its time stamp, and a fixture archive as setup.pv.
#ifndef PARVEK_DISTFOLDER_H
#define PARVEK_DISTFOLDER_H

#include <string>
#include <vector>

struct DistFolder {
    explicit DistFolder(const char *archive);
    // Runs SETUP.EXE with the answers; returns the transcript of what it showed.
    std::string Run(const std::vector<std::string> &answers);
    std::string root;        // private folder of this test
    std::string sourceDir;   // the distribution, without trailing backslash
    std::string installDir;  // a folder with a blank in its name, not yet created
};

std::string FixturePath(const std::string &name);
std::string ReadFile(const std::string &path);
void WriteFile(const std::string &path, const std::string &data);
bool Exists(const std::string &path);
bool SameFile(const std::string &a, const std::string &b);
// Waits for the stand-in main program's record: command line, folder.
std::vector<std::string> WaitForHandoff(const std::string &installDir);

#endif
