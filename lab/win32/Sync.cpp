// Stands in for kernel32's mutexes (named ones across processes), events, waits, Sleep, ticks and interlocked calls.
#include "lab/win32/Sync.h"

#include "lab/host/Host.h"
#include "lab/win32/Handles.h"
#include "lab/win32/MutexLine.h"
#include "lab/win32/Process.h"
#include "lab/win32/ProcessControl.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using lab::win32::KernelObject;
using SteadyClock = std::chrono::steady_clock;

// When a wait gives up; never for INFINITE.
struct Deadline {
    explicit Deadline(DWORD dwMilliseconds)
        : bInfinite(dwMilliseconds == INFINITE),
          at(SteadyClock::now() + std::chrono::milliseconds(bInfinite ? 0 : dwMilliseconds))
    {
    }
    bool bInfinite;
    SteadyClock::time_point at;
};

template <class Ready>
bool WaitUntil(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, const Deadline& deadline, Ready ready)
{
    if (deadline.bInfinite) {
        cv.wait(lock, ready);
        return true;
    }
    return cv.wait_until(lock, deadline.at, ready);
}

// ---------------------------------------------------------------------------
// The lock files that carry a named mutex across processes.
//
// "<name>.lock" is held (flock, exclusive) by the process whose thread owns the
// mutex. "<name>.open" is held shared by every process that has the mutex open, which
// is how a creator learns that the object already exists elsewhere, and how the last
// process to close it knows it may remove the files. "<name>.line" is the line of
// the processes waiting for the lock file, first come first served, and the owner's
// note, cleared at the final release, by which the next owner tells that the previous
// one ended without releasing (abandoned) (MutexLine).

std::string LockDirectory()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string base = tmp && *tmp ? tmp : "/tmp";
    return base + "/triagist-lab-mutex-" + std::to_string(getuid());
}

// Object names may hold any character but a backslash; file names may not hold '/'.
std::string FileNameFor(const std::string& name)
{
    std::string encoded;
    for (unsigned char c : name) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.') {
            encoded += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            encoded += hex;
        }
    }
    const size_t kKeep = 160;  // well under NAME_MAX with the hash and suffix
    if (encoded.size() > kKeep) {
        uint64_t hash = 1469598103934665603ull;  // FNV-1a: the same in every build, unlike std::hash
        for (unsigned char c : name)
            hash = (hash ^ c) * 1099511628211ull;
        char tail[20];
        std::snprintf(tail, sizeof tail, "~%016llx", static_cast<unsigned long long>(hash));
        encoded = encoded.substr(0, kKeep) + tail;
    }
    return encoded;
}

void Flock(int fd, int operation)
{
    while (flock(fd, operation) != 0 && errno == EINTR) {
    }
}

// ---------------------------------------------------------------------------

class MutexObject : public KernelObject, public std::enable_shared_from_this<MutexObject> {
public:
    ~MutexObject() override
    {
        // The last process to close the mutex removes its files, as the object ends with its last handle.
        // Closing drops this process's locks; an owner's note stays for the others to see it abandoned.
        if (m_presenceFd >= 0 && flock(m_presenceFd, LOCK_EX | LOCK_NB) == 0) {
            unlink((m_base + ".lock").c_str());  // before the presence file, which openers take first
            unlink((m_base + ".line").c_str());
            unlink((m_base + ".open").c_str());
        }
        CloseFiles();
    }

    // Joins the mutex of this name that other processes may have open.
    bool OpenNamed(const std::string& name, bool& bExisted, DWORD& dwError)
    {
        std::string dir = LockDirectory();
        if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
            dwError = ERROR_ACCESS_DENIED;
            return false;
        }
        m_base = dir + "/" + FileNameFor(name);
        for (;;) {
            // The presence file first: whoever removes the files holds it exclusively meanwhile.
            m_presenceFd = open((m_base + ".open").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
            m_lockFd = open((m_base + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
            if (m_lockFd < 0 || m_presenceFd < 0) {
                dwError = errno == ENOENT ? ERROR_PATH_NOT_FOUND : ERROR_ACCESS_DENIED;
                CloseFiles();
                return false;
            }
            // An exclusive probe succeeds only when no other process has the mutex open. flock does not
            // convert atomically, so two creators racing through this window may both see a new mutex.
            bExisted = flock(m_presenceFd, LOCK_EX | LOCK_NB) != 0;
            Flock(m_presenceFd, LOCK_SH);
            if (!m_line.Open(m_base + ".line", !bExisted)) {
                dwError = ERROR_ACCESS_DENIED;
                CloseFiles();
                return false;
            }
            if (StillNamed())
                break;
            CloseFiles();  // removed by its last user while this one was opening it: start again
        }
        return true;
    }

    // Ownership for the creator of a new mutex, which nobody else can hold yet.
    void TakeInitialOwnership()
    {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            if (m_lockFd >= 0) {
                if (flock(m_lockFd, LOCK_EX | LOCK_NB) != 0)
                    return;  // another process slipped in between; the creator simply does not own it
                m_line.TakeOwnership();
            }
            m_owner = GetCurrentThreadId();
            m_count = 1;
        }
        NoteOwnedByThisThread();
    }

    DWORD Wait(DWORD dwRealMilliseconds) override
    {
        const DWORD me = GetCurrentThreadId();
        Deadline deadline(dwRealMilliseconds);
        std::unique_lock<std::mutex> lock(m_lock);
        if (m_owner == me) {
            ++m_count;  // ownership is recursive
            return WAIT_OBJECT_0;
        }
        if (!WaitUntil(m_cv, lock, deadline, [this] { return m_owner == 0 && !m_bAcquiring; }))
            return WAIT_TIMEOUT;
        bool bAbandoned = m_bAbandoned;
        if (m_lockFd >= 0) {
            // Free in this process; now win it from the others. Threads of this process wait meanwhile.
            m_bAcquiring = true;
            lock.unlock();
            bool bLocked = m_line.Acquire(m_lockFd, deadline.bInfinite, deadline.at);
            if (bLocked)
                bAbandoned = m_line.TakeOwnership();
            lock.lock();
            m_bAcquiring = false;
            if (!bLocked) {
                m_cv.notify_all();
                return WAIT_TIMEOUT;
            }
        }
        m_owner = me;
        m_count = 1;
        m_bAbandoned = false;
        lock.unlock();
        NoteOwnedByThisThread();
        return bAbandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
    }

    bool Release()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_owner == 0 || m_owner != GetCurrentThreadId())
            return false;
        if (--m_count == 0) {
            m_owner = 0;
            if (m_lockFd >= 0) {
                m_line.GiveUpOwnership();
                Flock(m_lockFd, LOCK_UN);
                m_line.Released();
            }
            m_cv.notify_all();
        }
        return true;
    }

    // The owning thread ended without releasing: the next wait succeeds with WAIT_ABANDONED.
    void Abandon(DWORD threadId)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_owner != threadId)
            return;
        m_owner = 0;
        m_count = 0;
        if (m_lockFd >= 0) {
            Flock(m_lockFd, LOCK_UN);  // the owner's note stays and tells the next owner, in any process
            m_line.Released();
        } else
            m_bAbandoned = true;
        m_cv.notify_all();
    }

private:
    // Whether the files this object holds are still the ones the name leads to.
    bool StillNamed() const
    {
        return SameFile(m_presenceFd, m_base + ".open") && SameFile(m_lockFd, m_base + ".lock") &&
               SameFile(m_line.Fd(), m_base + ".line");
    }

    static bool SameFile(int fd, const std::string& path)
    {
        struct stat held {}, named {};
        return fstat(fd, &held) == 0 && stat(path.c_str(), &named) == 0 && held.st_ino == named.st_ino &&
               held.st_dev == named.st_dev;
    }

    void CloseFiles()
    {
        if (m_lockFd >= 0)
            close(m_lockFd);
        if (m_presenceFd >= 0)
            close(m_presenceFd);
        m_lockFd = m_presenceFd = -1;
        m_line.Close();
    }

    void NoteOwnedByThisThread();

    std::mutex m_lock;
    std::condition_variable m_cv;
    DWORD m_owner = 0;  // thread id; 0 when free
    unsigned m_count = 0;
    bool m_bAcquiring = false;  // a thread of this process is winning the file lock
    bool m_bAbandoned = false;  // unnamed mutexes only; named ones keep it in the lock file
    int m_lockFd = -1;
    int m_presenceFd = -1;
    lab::win32::MutexLine m_line;  // the order in which processes get the lock file
    std::string m_base;  // the files' path without ".open" or ".lock"
};

// The mutexes a thread has owned, so that its end abandons the ones it still holds.
struct OwnedMutexes {
    std::vector<std::weak_ptr<MutexObject>> mutexes;
    void AbandonAll()
    {
        DWORD me = GetCurrentThreadId();
        std::vector<std::weak_ptr<MutexObject>> owned;
        owned.swap(mutexes);
        for (auto& weak : owned) {
            if (auto pMutex = weak.lock())
                pMutex->Abandon(me);
        }
    }
    ~OwnedMutexes() { AbandonAll(); }
};

thread_local OwnedMutexes t_owned;

void MutexObject::NoteOwnedByThisThread()
{
    auto& list = t_owned.mutexes;
    for (auto it = list.begin(); it != list.end();) {
        auto pKnown = it->lock();
        if (pKnown.get() == this)
            return;
        it = pKnown ? it + 1 : list.erase(it);
    }
    list.push_back(weak_from_this());
}

}  // namespace

void lab::win32::AbandonThreadMutexes()
{
    t_owned.AbandonAll();
}

namespace {

// ---------------------------------------------------------------------------

class EventObject : public KernelObject {
public:
    EventObject(bool bManualReset, bool bSignalled) : m_bManualReset(bManualReset), m_bSignalled(bSignalled) {}

    DWORD Wait(DWORD dwRealMilliseconds) override
    {
        std::unique_lock<std::mutex> lock(m_lock);
        if (!WaitUntil(m_cv, lock, Deadline(dwRealMilliseconds), [this] { return m_bSignalled; }))
            return WAIT_TIMEOUT;
        if (!m_bManualReset)
            m_bSignalled = false;  // an auto-reset event lets one waiter through
        return WAIT_OBJECT_0;
    }

    void Set(bool bSignalled)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_bSignalled = bSignalled;
        if (bSignalled)
            m_cv.notify_all();
    }

private:
    std::mutex m_lock;
    std::condition_variable m_cv;
    bool m_bManualReset;
    bool m_bSignalled;
};

// ---------------------------------------------------------------------------
// The names of this process's objects. Mutexes also meet other processes through their lock files.

struct NamedObjects {
    std::mutex lock;
    std::map<std::string, std::weak_ptr<KernelObject>> objects;
};

NamedObjects& Names()
{
    static NamedObjects* pNames = new NamedObjects;  // outlives every static destructor
    return *pNames;
}

// The name within the session: "Local\" is the session's own namespace; a backslash elsewhere
// names an object directory that does not exist.
bool SessionName(const std::string& requested, std::string& name)
{
    static const std::string kLocal = "Local\\";
    static const std::string kGlobal = "Global\\";
    name = requested.compare(0, kLocal.size(), kLocal) == 0 ? requested.substr(kLocal.size()) : requested;
    size_t start = name.compare(0, kGlobal.size(), kGlobal) == 0 ? kGlobal.size() : 0;
    return name.find('\\', start) == std::string::npos;
}

template <class T, class Make>
HANDLE CreateNamed(LPCSTR lpName, Make make)
{
    if (!lpName || !*lpName) {
        std::shared_ptr<T> pObject = make(std::string());
        if (!pObject)
            return nullptr;
        SetLastError(ERROR_SUCCESS);
        return lab::win32::InsertHandle(pObject);
    }
    std::string name;
    if (!SessionName(lpName, name)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return nullptr;
    }
    NamedObjects& names = Names();
    std::lock_guard<std::mutex> guard(names.lock);
    for (auto it = names.objects.begin(); it != names.objects.end();)
        it = it->second.expired() ? names.objects.erase(it) : std::next(it);
    auto found = names.objects.find(name);
    if (found != names.objects.end()) {
        auto pExisting = std::dynamic_pointer_cast<T>(found->second.lock());
        if (!pExisting) {
            SetLastError(ERROR_INVALID_HANDLE);  // the name belongs to an object of another type
            return nullptr;
        }
        HANDLE h = lab::win32::InsertHandle(pExisting);
        SetLastError(ERROR_ALREADY_EXISTS);
        return h;
    }
    std::shared_ptr<T> pObject = make(name);  // sets the last error itself
    if (!pObject)
        return nullptr;
    names.objects[name] = pObject;
    DWORD dwError = GetLastError();
    HANDLE h = lab::win32::InsertHandle(pObject);
    SetLastError(dwError);
    return h;
}

const HANDLE kCurrentProcess = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));
const HANDLE kCurrentThread = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2));

}  // namespace

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL bInitialOwner, LPCSTR lpName)
{
    return CreateNamed<MutexObject>(lpName, [bInitialOwner](const std::string& name) {
        auto pMutex = std::make_shared<MutexObject>();
        bool bExisted = false;
        DWORD dwError = ERROR_SUCCESS;
        if (!name.empty() && !pMutex->OpenNamed(name, bExisted, dwError)) {
            SetLastError(dwError);
            return std::shared_ptr<MutexObject>();
        }
        // For a mutex that existed already the request for ownership is ignored, as on Windows.
        if (bInitialOwner && !bExisted)
            pMutex->TakeInitialOwnership();
        SetLastError(bExisted ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
        return pMutex;
    });
}

BOOL WINAPI ReleaseMutex(HANDLE hMutex)
{
    auto pMutex = lab::win32::LookupHandleAs<MutexObject>(hMutex);
    if (!pMutex) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!pMutex->Release()) {
        SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    return TRUE;
}

// Events stay within the process: nothing in the program shares one with another process.
HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState, LPCSTR lpName)
{
    return CreateNamed<EventObject>(lpName, [bManualReset, bInitialState](const std::string&) {
        SetLastError(ERROR_SUCCESS);
        return std::make_shared<EventObject>(bManualReset != FALSE, bInitialState != FALSE);
    });
}

BOOL WINAPI SetEvent(HANDLE hEvent)
{
    auto pEvent = lab::win32::LookupHandleAs<EventObject>(hEvent);
    if (!pEvent) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    pEvent->Set(true);
    return TRUE;
}

BOOL WINAPI ResetEvent(HANDLE hEvent)
{
    auto pEvent = lab::win32::LookupHandleAs<EventObject>(hEvent);
    if (!pEvent) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    pEvent->Set(false);
    return TRUE;
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds)
{
    lab::host::Clock& clock = lab::host::Host::Instance().TheClock();
    DWORD dwReal = clock.RealWaitMs(dwMilliseconds);
    if (dwMilliseconds != INFINITE && clock.IsVirtual() && lab::win32::IsStartedProgram(hHandle))
        dwReal = std::max(dwReal, std::min<DWORD>(dwMilliseconds, clock.ProgramPatienceMs()));
    if (hHandle == kCurrentProcess || hHandle == kCurrentThread) {
        // The caller's own process or thread cannot end while the caller waits for it.
        if (dwMilliseconds == INFINITE) {
            for (;;)
                std::this_thread::sleep_for(std::chrono::hours(1));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(dwReal));
        clock.WaitExpired(dwMilliseconds);
        return WAIT_TIMEOUT;
    }
    auto pObject = lab::win32::LookupHandle(hHandle);
    if (!pObject) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    DWORD dwResult = pObject->Wait(dwReal);
    if (dwResult == WAIT_TIMEOUT)
        clock.WaitExpired(dwMilliseconds);
    return dwResult;
}

void WINAPI Sleep(DWORD dwMilliseconds)
{
    if (dwMilliseconds == INFINITE) {
        for (;;)
            std::this_thread::sleep_for(std::chrono::hours(1));
    }
    lab::host::Host::Instance().TheClock().Sleep(dwMilliseconds);
}

DWORD WINAPI GetTickCount()
{
    // Wraps to zero after 49.7 days, as the real counter does.
    return static_cast<DWORD>(lab::host::Host::Instance().TheClock().TickMs());
}

LONG WINAPI InterlockedExchange(LONG volatile* Target, LONG Value)
{
    return __atomic_exchange_n(Target, Value, __ATOMIC_SEQ_CST);
}

LONG WINAPI InterlockedIncrement(LONG volatile* Addend)
{
    return __atomic_add_fetch(Addend, 1, __ATOMIC_SEQ_CST);
}

LONG WINAPI InterlockedDecrement(LONG volatile* Addend)
{
    return __atomic_sub_fetch(Addend, 1, __ATOMIC_SEQ_CST);
}
