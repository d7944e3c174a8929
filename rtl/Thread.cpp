#include "rtl/Thread.h"

#include "rtl/Exceptions.h"

#include <chrono>
#ifdef _WIN32
#include <windows.h>
#else
#include <pthread.h>
#endif
#include <condition_variable>
#include <deque>
#include <mutex>

namespace rtl {

namespace {

// The runtime is loaded by the main thread before main() runs.
std::atomic<std::thread::id> g_mainThread{std::this_thread::get_id()};
std::atomic<void (*)()> g_wakeMainThread{nullptr};

struct SyncCall {
    std::function<void()> method;
    bool waited = false;
    bool done = false;
    std::exception_ptr error;
};

struct SyncQueue {
    std::mutex m;
    std::condition_variable arrived;
    std::condition_variable done;
    std::deque<std::shared_ptr<SyncCall>> calls;
};

SyncQueue& Queued() {
    static SyncQueue* queue = new SyncQueue; // outlives every thread that may still queue at exit
    return *queue;
}

void Post(std::shared_ptr<SyncCall> call) {
    SyncQueue& q = Queued();
    {
        std::lock_guard lock(q.m);
        q.calls.push_back(std::move(call));
    }
    q.arrived.notify_all();
    if (auto hook = g_wakeMainThread.load()) {
        hook();
    }
}

void RunCall(SyncQueue& q, std::unique_lock<std::mutex>& lock, const std::shared_ptr<SyncCall>& call) {
    lock.unlock();
    if (!call->waited) {
        call->method(); // an exception leaves CheckSynchronize; the lock is not held
        lock.lock();
        return;
    }
    try {
        call->method();
    } catch (...) {
        call->error = std::current_exception();
    }
    lock.lock();
    call->done = true;
    q.done.notify_all();
}

} // namespace

std::uint64_t GetTickCount64() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

std::uint32_t GetTickCount() {
    return static_cast<std::uint32_t>(GetTickCount64());
}

void Sleep(std::uint32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::thread::id MainThreadId() {
    return g_mainThread.load();
}

bool IsMainThread() {
    return std::this_thread::get_id() == g_mainThread.load();
}

void SetMainThread() {
    g_mainThread.store(std::this_thread::get_id());
}

void SetWakeMainThread(void (*hook)()) {
    g_wakeMainThread.store(hook);
}

bool CheckSynchronize(std::uint32_t timeoutMs) {
    if (!IsMainThread()) {
        throw EThreadError(u"CheckSynchronize called from a thread other than the main thread");
    }
    SyncQueue& q = Queued();
    std::unique_lock lock(q.m);
    if (q.calls.empty() && timeoutMs > 0) {
        q.arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&q] { return !q.calls.empty(); });
    }
    // Only the calls present now: a call that queues another does not keep this loop going.
    size_t count = q.calls.size();
    for (size_t i = 0; i < count && !q.calls.empty(); ++i) {
        std::shared_ptr<SyncCall> call = std::move(q.calls.front());
        q.calls.pop_front();
        RunCall(q, lock, call);
    }
    return count > 0;
}

TThread::TThread(bool createSuspended) : _blCreateSuspended(createSuspended) {}

TThread::~TThread() {
    if (!_thread.joinable()) {
        return;
    }
    if (_thread.get_id() == std::this_thread::get_id()) {
        _thread.detach(); // freed from its own Execute
        return;
    }
    // Only a thread destroyed without Free gets here still running; its derived part is gone already.
    _blTerminated = true;
    _Join();
}

void TThread::BeforeDestruction() {
    if (_thread.joinable() && _thread.get_id() != std::this_thread::get_id()) {
        Terminate();
        _Join();
    }
    TObject::BeforeDestruction();
}

void TThread::Terminate() {
    // A free-on-terminate thread may see the flag and end at once: it waits for this lock before it
    // frees itself, so TerminatedSet never runs on a freed object.
    std::lock_guard lock(_mTerminate);
    _blTerminated = true;
    TerminatedSet();
}

void TThread::AfterConstruction() {
    if (!_blCreateSuspended) {
        Start();
    }
}

void TThread::Start() {
    if (_blStarted) {
        throw EThreadError(u"Cannot call Start on a running or finished thread");
    }
    _blStarted = true;
    // Run must not begin before _thread holds it, so Start keeps a gate locked until then. The gate is
    // shared, not a member: a free-on-terminate thread may free the object as soon as it passes. (Not
    // an atomic wait: mingw's libstdc++ can miss that wake-up and leave the thread blocked for good.)
    auto gate = std::make_shared<std::mutex>();
    std::unique_lock closed(*gate);
    try {
        _thread = std::thread([this, gate] {
            { std::lock_guard pass(*gate); }
            Run();
        });
    } catch (const std::system_error& e) {
        _blStarted = false;
        throw EThreadError(u"Thread creation error: " + Utf8ToString(e.what()));
    }
}

void TThread::Run() {
    try {
        Execute();
    } catch (...) {
        _pFatalException = std::current_exception();
    }
    // The object may be gone once _blFinished is set or Free returns: keep what is needed after.
    std::shared_ptr<TEvent> ended = _pEnded;
    if (FreeOnTerminate) {
        { std::lock_guard lock(_mTerminate); } // a Terminate under way finishes first
        _thread.detach();
        _blFinished = true;
        rtl::Free(this);
    } else {
        _blFinished = true;
    }
    ended->SetEvent();
}

void TThread::_Join() {
    // On the main thread, keep serving Synchronize so that the worker can reach its end.
    if (IsMainThread()) {
        while (!_blFinished) {
            CheckSynchronize(5);
        }
    }
    _thread.join();
}

int TThread::WaitFor() {
    if (FreeOnTerminate) {
        throw EThreadError(u"Cannot call WaitFor on a thread that frees itself");
    }
    if (!_blStarted) {
        throw EThreadError(u"Cannot call WaitFor on a thread that was not started");
    }
    if (_thread.joinable()) {
        if (_thread.get_id() == std::this_thread::get_id()) {
            throw EThreadError(u"A thread cannot wait for itself");
        }
        _Join();
    }
    return ReturnValue;
}

void TThread::NameThreadForDebugging(const UnicodeString& name) {
#ifdef _WIN32
    // Looked up at run time: older systems (and Wine before 9) lack the call, and naming is optional.
    using TSetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
    static const auto setDescription = reinterpret_cast<TSetDescription>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetThreadDescription")));
    if (setDescription)
        setDescription(GetCurrentThread(), reinterpret_cast<const wchar_t*>(name.c_str()));
#else
    std::string utf8 = StringToUtf8(name);
    // Linux keeps 15 bytes and a terminator; cut on a character boundary.
    constexpr std::size_t kLimit = 15;
    if (utf8.size() > kLimit) {
        std::size_t cut = kLimit;
        while (cut > 0 && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        utf8.resize(cut);
    }
    pthread_setname_np(pthread_self(), utf8.c_str());
#endif
}

UnicodeString TThread::ThreadNameForDebugging() {
#ifdef _WIN32
    using TGetDescription = HRESULT(WINAPI*)(HANDLE, PWSTR*);
    static const auto getDescription = reinterpret_cast<TGetDescription>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetThreadDescription")));
    PWSTR text = nullptr;
    UnicodeString name;
    if (getDescription && SUCCEEDED(getDescription(GetCurrentThread(), &text)) && text) {
        name = reinterpret_cast<const char16_t*>(text);
        LocalFree(text);
    }
    return name;
#else
    char buffer[64] = {};
    if (pthread_getname_np(pthread_self(), buffer, sizeof buffer) != 0) {
        return UnicodeString();
    }
    return Utf8ToString(buffer);
#endif
}

void TThread::Synchronize(const std::function<void()>& method) {
    if (IsMainThread()) {
        method();
        return;
    }
    auto call = std::make_shared<SyncCall>();
    call->method = method;
    call->waited = true;
    Post(call);
    SyncQueue& q = Queued();
    std::unique_lock lock(q.m);
    q.done.wait(lock, [&call] { return call->done; });
    if (call->error) {
        std::rethrow_exception(call->error);
    }
}

void TThread::Queue(std::function<void()> method) {
    if (IsMainThread()) {
        method();
        return;
    }
    auto call = std::make_shared<SyncCall>();
    call->method = std::move(method);
    Post(std::move(call));
}

} // namespace rtl
