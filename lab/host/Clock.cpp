// Stands in for the machine's clocks: the tick counter and the local time, real or virtual.
#include "lab/host/Clock.h"

#include <chrono>
#include <thread>

namespace lab::host {

namespace {

LocalTime FromEpoch(std::time_t seconds, int millisecond)
{
    std::tm parts{};
    localtime_r(&seconds, &parts);
    return LocalTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_wday, parts.tm_mday,
                     parts.tm_hour,        parts.tm_min,     parts.tm_sec,  millisecond};
}

constexpr uint32_t kInfinite = 0xFFFFFFFF;

}  // namespace

void Clock::SetReal()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_bVirtual = false;
}

void Clock::SetVirtual(std::time_t startLocalSeconds, uint64_t startTickMs)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_bVirtual = true;
    m_startLocal = startLocalSeconds;
    m_startTick = startTickMs;
    m_elapsedMs = 0;
}

bool Clock::IsVirtual() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_bVirtual;
}

uint64_t Clock::TickMs() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_bVirtual)
        return m_startTick + m_elapsedMs;
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);  // time since boot, as the tick count is
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

LocalTime Clock::Now() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_bVirtual) {
        return FromEpoch(m_startLocal + static_cast<std::time_t>(m_elapsedMs / 1000),
                         static_cast<int>(m_elapsedMs % 1000));
    }
    auto now = std::chrono::system_clock::now();
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    return FromEpoch(static_cast<std::time_t>(ms / 1000), static_cast<int>(ms % 1000));
}

std::time_t Clock::NowSeconds() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_bVirtual)
        return m_startLocal + static_cast<std::time_t>(m_elapsedMs / 1000);
    return std::time(nullptr);
}

void Clock::Sleep(uint32_t milliseconds)
{
    if (IsVirtual()) {
        Advance(milliseconds);
        std::this_thread::yield();
        return;
    }
    if (milliseconds == 0)
        std::this_thread::yield();
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void Clock::Advance(uint64_t milliseconds)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_elapsedMs += milliseconds;
}

uint32_t Clock::RealWaitMs(uint32_t milliseconds) const
{
    if (milliseconds == kInfinite || !IsVirtual())
        return milliseconds;
    return milliseconds == 0 ? 0 : 1 + milliseconds / kVirtualWaitDivisor;
}

void Clock::WaitExpired(uint32_t milliseconds)
{
    if (milliseconds != kInfinite && IsVirtual())
        Advance(milliseconds);
}

void Clock::SetProgramPatience(uint32_t milliseconds)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_programPatienceMs = milliseconds;
}

uint32_t Clock::ProgramPatienceMs() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_programPatienceMs;
}

}  // namespace lab::host
