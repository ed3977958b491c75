// Stands in for the machine's clocks: the tick counter and the local time, real or virtual.
#pragma once

#include <cstdint>
#include <ctime>
#include <mutex>

namespace lab::host {

struct LocalTime {
    int year, month, dayOfWeek, day, hour, minute, second, millisecond;
};

// In virtual mode time moves only when the program sleeps, a wait expires or a
// test advances it, so a 20-second retry costs no real time. Waits on real
// objects still block for real, but only for a thousandth of their time-out.
class Clock {
public:
    static constexpr uint32_t kVirtualWaitDivisor = 1000;

    void SetReal();
    void SetVirtual(std::time_t startLocalSeconds, uint64_t startTickMs);
    bool IsVirtual() const;

    uint64_t TickMs() const;
    LocalTime Now() const;
    // The same moment as seconds since 1970 (UTC); local time is this in the process's time zone (TZ).
    std::time_t NowSeconds() const;

    void Sleep(uint32_t milliseconds);
    void Advance(uint64_t milliseconds);

    // A wait's time-out as the real time it may block (INFINITE stays INFINITE).
    uint32_t RealWaitMs(uint32_t milliseconds) const;
    // Called when a wait ran out: virtual time jumps by the whole time-out.
    void WaitExpired(uint32_t milliseconds);

    // A started program runs in real time, which the virtual clock cannot shorten: a wait for one may
    // block for real up to this long, so that a program that ends promptly is seen to end while one that
    // hangs still times out soon. A loaded machine needs more patience than the default.
    static constexpr uint32_t kDefaultProgramPatienceMs = 1000;
    void SetProgramPatience(uint32_t milliseconds);
    uint32_t ProgramPatienceMs() const;

private:
    mutable std::mutex m_lock;
    bool m_bVirtual = false;
    std::time_t m_startLocal = 0;
    uint64_t m_startTick = 0;
    uint64_t m_elapsedMs = 0;
    uint32_t m_programPatienceMs = kDefaultProgramPatienceMs;
};

}  // namespace lab::host
