// Stands in for the order in which Windows hands a contended mutex to its waiters: a first-come, first-served
// line of the processes waiting for one named mutex, shared through a small file that each maps.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace lab::win32 {

class MutexLine {
public:
    using Clock = std::chrono::steady_clock;

    MutexLine() = default;
    ~MutexLine() { Close(); }
    MutexLine(const MutexLine&) = delete;
    MutexLine& operator=(const MutexLine&) = delete;

    // Opens (creating) the line's file at path; bFresh empties a line that no other process has open.
    bool Open(const std::string& path, bool bFresh);
    void Close();
    bool IsOpen() const { return m_pShared != nullptr; }
    int Fd() const { return m_fd; }

    // Takes the exclusive flock on lockFd in this process's turn: at once when nobody waits, else after the
    // processes that came before. False at the deadline (none: wait for ever), having left the line.
    bool Acquire(int lockFd, bool bInfinite, Clock::time_point deadline);
    // After lockFd's lock was given up: the first in line tries it now.
    void Released();

    // With lockFd's lock held: notes this process as the owner and tells whether the previous one ended
    // without giving the mutex back (its note is still there).
    bool TakeOwnership();
    // Before lockFd's lock is given up cleanly.
    void GiveUpOwnership();

private:
    struct Shared;
    void Remove(uint32_t ticket);
    void DropDeadHead();

    int m_fd = -1;
    Shared* m_pShared = nullptr;
};

}  // namespace lab::win32
