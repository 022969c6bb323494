#pragma once
// The side commands of the reader window: the help program, the exit button and the web link.
#include <string>
#include <string_view>

#include "navigation/reader_window.h"

namespace commands {

inline constexpr std::string_view kHelpProgram = "\\pic\\help.exe";
inline constexpr std::string_view kPublisherPage = "http://www.corvanta.example/";

// ShockwaveFlash2: starts "<folder>\pic\help.exe" without waiting for it and without looking
// at the result, then parks the focus on Text1.
void Help(navigation::ReaderWindow& form);

// ShockwaveFlash3: ends the process at once with status 0; no unload runs.
[[noreturn]] void Exit();

// Label1: currentPage := the publisher's page, and the browser goes there. Nothing else.
void WebLink(navigation::ReaderWindow& form);

// The path converted to the locale's 8-bit encoding, as handed to the shell. Characters the
// encoding cannot hold become '?', so such a path names no file.
std::string toLocal8Bit(std::string_view utf8Path);

// Starts a program as the desktop shell would: an executable file is started detached, any
// other existing file goes to the desktop's opener. Returns false when nothing was started.
bool shellExecute(const std::string& localPath);

}  // namespace commands
