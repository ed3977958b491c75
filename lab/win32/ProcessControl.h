// Stands in for what kernel32 and the C runtime know of processes and threads (lab-internal, not the Win32 surface).
#pragma once

#include "lab/win32/WinDef.h"

#include <string>
#include <vector>

namespace lab::win32 {

// What GetCommandLineA answers from now on; the lab's entry point sets it from main()'s arguments.
void SetCommandLine(const std::string& commandLine);

// A command line cut into arguments by the Microsoft C runtime's rules: blanks separate,
// quotes group, backslashes escape only before a quote, "" inside quotes is a quote.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

// Arguments joined into a command line that SplitCommandLine cuts back into the same arguments.
std::string JoinCommandLine(const std::vector<std::string>& arguments);

// Abandons the mutexes the calling thread still owns; a thread of _beginthreadex calls it as it ends,
// before its handle is signalled, as Windows does. (Other threads abandon theirs at their exit.)
void AbandonThreadMutexes();

// True for the process and thread handles CreateProcessA gave: they stand for a program running in real time.
bool IsStartedProgram(HANDLE h);
// The Linux process behind a process handle of CreateProcessA (not its thread handle).
bool StartedProgramId(HANDLE h, DWORD& dwProcessId);

}  // namespace lab::win32
