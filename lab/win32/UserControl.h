// Stands in for the person in front of the screen who answers message boxes (lab-internal, not part of the Win32 surface).
#pragma once

#include "lab/win32/WinDef.h"

#include <vector>

namespace lab::win32 {

// The answers (IDOK, IDRETRY, ...) the next message boxes give, in order, before the profile's
// [MessageBox] Answers=, the console and the default button are asked. Each call appends.
void QueueMessageBoxAnswers(const std::vector<int>& answers);
// Drops the answers queued and not yet given.
void ClearMessageBoxAnswers();
// How many queued answers are still waiting for a box.
size_t PendingMessageBoxAnswers();

}  // namespace lab::win32
