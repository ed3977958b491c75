// Stands in for the order in which Windows hands a contended mutex to its waiters: a first-come, first-served
// line of the processes waiting for one named mutex, shared through a small file that each maps.
//
// The flock on the mutex's lock file stays what ownership is (and what ends with a killed owner); the line only
// decides who may try it. The owner's note, cleared at a clean release, lives in the mapped file too, so that
// taking and giving up an uncontended mutex is one flock call each. Without it a process that releases and asks again at once wins the lock file before
// any waiter has noticed, and keeps the others waiting until their time-outs.
#include "lab/win32/MutexLine.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <pthread.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#ifdef __linux__
#include <linux/futex.h>
#include <sys/syscall.h>
#endif

namespace lab::win32 {

namespace {

constexpr uint32_t kMaxWaiting = 120;

// How long a waiter sleeps before it looks again without being woken: an owner or a waiter that was killed
// wakes nobody.
constexpr auto kLookAgain = std::chrono::milliseconds(10);

void Flock(int fd, int operation)
{
    while (flock(fd, operation) != 0 && errno == EINTR) {
    }
}

// Holds the line's own file lock while the line is read or changed (never for long).
class LineGuard {
public:
    explicit LineGuard(int fd) : m_fd(fd) { Flock(m_fd, LOCK_EX); }
    ~LineGuard() { Flock(m_fd, LOCK_UN); }
    LineGuard(const LineGuard&) = delete;
    LineGuard& operator=(const LineGuard&) = delete;

private:
    int m_fd;
};

// The process's own id, which only a fork changes: getpid is a system call, and an uncontended mutex is
// otherwise one flock call each way.
std::atomic<int32_t> g_ownPid{0};

int32_t OwnPid()
{
    int32_t pid = g_ownPid.load(std::memory_order_relaxed);
    if (pid == 0) {
        static std::once_flag once;
        std::call_once(once, [] { pthread_atfork(nullptr, nullptr, [] { g_ownPid.store(0); }); });
        pid = static_cast<int32_t>(getpid());
        g_ownPid.store(pid, std::memory_order_relaxed);
    }
    return pid;
}

bool Alive(int32_t pid)
{
    return kill(pid, 0) == 0 || errno != ESRCH;
}

}  // namespace

struct MutexLine::Shared {
    uint32_t wake;  // changes whenever the lock is given up or the line moves; waiters sleep on it
    uint32_t nextTicket;
    uint32_t count;
    int32_t owner;  // the process whose thread holds the lock file; still set after an owner ended without release
    struct Entry {
        int32_t pid;
        uint32_t ticket;
    } entries[kMaxWaiting];  // the first in line first
};

bool MutexLine::Open(const std::string& path, bool bFresh)
{
    Close();
    m_fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_fd < 0)
        return false;
    {
        LineGuard guard(m_fd);
        struct stat st {};
        if (fstat(m_fd, &st) != 0 ||
            (st.st_size < static_cast<off_t>(sizeof(Shared)) && ftruncate(m_fd, sizeof(Shared)) != 0)) {
            Close();
            return false;
        }
        void* p = mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED, m_fd, 0);
        if (p == MAP_FAILED) {
            Close();
            return false;
        }
        m_pShared = static_cast<Shared*>(p);
        // A line left by processes that were killed holds only the dead.
        if (bFresh) {
            m_pShared->count = 0;
            m_pShared->owner = 0;  // a note of a long-gone owner would only report the new mutex abandoned
        }
    }
    return true;
}

void MutexLine::Close()
{
    if (m_pShared)
        munmap(m_pShared, sizeof(Shared));
    if (m_fd >= 0)
        close(m_fd);
    m_pShared = nullptr;
    m_fd = -1;
}

void MutexLine::Remove(uint32_t ticket)
{
    Shared& line = *m_pShared;
    const uint32_t count = std::min(line.count, kMaxWaiting);
    for (uint32_t i = 0; i < count; ++i) {
        if (line.entries[i].ticket == ticket && line.entries[i].pid == OwnPid()) {
            std::memmove(&line.entries[i], &line.entries[i + 1], (count - i - 1) * sizeof(Shared::Entry));
            line.count = count - 1;
            return;
        }
    }
}

void MutexLine::DropDeadHead()
{
    Shared& line = *m_pShared;
    while (line.count > 0 && line.count <= kMaxWaiting && !Alive(line.entries[0].pid)) {
        std::memmove(&line.entries[0], &line.entries[1], (line.count - 1) * sizeof(Shared::Entry));
        --line.count;
    }
    if (line.count > kMaxWaiting)
        line.count = 0;  // not a line any more: start again
}

void MutexLine::Released()
{
    if (!m_pShared)
        return;
    // A waiter about to sleep sees the change and does not; an empty line has nobody to wake.
    __atomic_add_fetch(&m_pShared->wake, 1, __ATOMIC_SEQ_CST);
#ifdef __linux__
    if (__atomic_load_n(&m_pShared->count, __ATOMIC_SEQ_CST) != 0)
        syscall(SYS_futex, &m_pShared->wake, FUTEX_WAKE, INT_MAX, nullptr, nullptr, 0);
#endif
}

bool MutexLine::TakeOwnership()
{
    if (!m_pShared)
        return false;
    return __atomic_exchange_n(&m_pShared->owner, OwnPid(), __ATOMIC_SEQ_CST) != 0;
}

void MutexLine::GiveUpOwnership()
{
    if (m_pShared)
        __atomic_store_n(&m_pShared->owner, 0, __ATOMIC_SEQ_CST);
}

bool MutexLine::Acquire(int lockFd, bool bInfinite, Clock::time_point deadline)
{
    Shared& line = *m_pShared;
    // Nobody waiting: the lock file at once. A waiter that joins meanwhile tries it after joining.
    if (__atomic_load_n(&line.count, __ATOMIC_SEQ_CST) == 0 && flock(lockFd, LOCK_EX | LOCK_NB) == 0)
        return true;
    uint32_t ticket = 0;
    bool bInLine = false;
    {
        LineGuard guard(m_fd);
        DropDeadHead();
        if (line.count == 0 && flock(lockFd, LOCK_EX | LOCK_NB) == 0)
            return true;
        // With more waiters than the line holds, this one tries the lock file as it comes.
        bInLine = line.count < kMaxWaiting;
        if (bInLine) {
            ticket = line.nextTicket++;
            line.entries[line.count] = {OwnPid(), ticket};
            __atomic_store_n(&line.count, line.count + 1, __ATOMIC_SEQ_CST);  // seen by a release without the guard
        }
    }
    if (!bInLine) {
        while (flock(lockFd, LOCK_EX | LOCK_NB) != 0) {
            if (!bInfinite && Clock::now() >= deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }
    for (;;) {
        // Read before looking, so that a release after the look still wakes this waiter.
        const uint32_t seen = __atomic_load_n(&line.wake, __ATOMIC_SEQ_CST);
        {
            LineGuard guard(m_fd);
            DropDeadHead();
            if (line.count > 0 && line.entries[0].ticket == ticket && line.entries[0].pid == OwnPid() &&
                flock(lockFd, LOCK_EX | LOCK_NB) == 0) {
                Remove(ticket);
                Released();  // the next in line now waits for this owner
                return true;
            }
        }
        auto now = Clock::now();
        if (!bInfinite && now >= deadline) {
            {
                LineGuard guard(m_fd);
                Remove(ticket);
            }
            Released();
            return false;
        }
        auto pause = bInfinite ? Clock::duration(kLookAgain) : std::min<Clock::duration>(deadline - now, kLookAgain);
#ifdef __linux__
        auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(pause).count();
        timespec timeout{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
        syscall(SYS_futex, &line.wake, FUTEX_WAIT, seen, &timeout, nullptr, 0);
#else
        (void)seen;
        std::this_thread::sleep_for(std::min<Clock::duration>(pause, std::chrono::milliseconds(1)));
#endif
    }
}

}  // namespace lab::win32
