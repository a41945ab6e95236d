// Watches the message boxes and dialogs that this thread opens, records what
// each one shows, and answers it from a script, as a user would.
#ifndef PARVEK_BOXWATCH_H
#define PARVEK_BOXWATCH_H

#include <windows.h>

#include <string>
#include <vector>

struct SeenWindow {
    std::string kind;      // "box", or "dialog 100" / "dialog 200" / "dialog 300"
    std::string owner;     // none, install, progress, restart, other
    std::string icon;      // none, error, question, information, warning
    std::string caption;
    std::string text;      // the box's text, the folder in dialog 100, dialog 200's text
    bool overProgress = false;  // dialog 300 was on screen when it opened
    std::string Line() const;
};

// Answers, one per box or modal dialog, in order: ok, cancel, yes, no,
// "dir:TEXT" (type TEXT into dialog 100, then OK), "keep" (leave it open),
// "cancel300" (dialog 300's own Cancel button once it shows),
// "cancel300at:NAME#K" (dialog 300's Cancel once it has answered the K-th
// progress report of the entry NAME; the first comes as the entry starts).
// Boxes beyond the script are answered with their default button.
void WatchStart(const std::vector<std::string> &answers);
std::vector<SeenWindow> WatchStop();
std::string Transcript(const std::vector<SeenWindow> &seen);

#endif
