#pragma once
// TStartupUpdateCheck: the update check made at every start, without holding up the GUI thread.
// The plan (skip counter, rest after a failure) is read on the caller's thread; the channels are
// asked on a worker thread through a clone of the component; what they answered is acted on back
// on the caller's thread, which must run a Qt event loop: an offered version is installed through
// the component itself (licence, progress, restart), a failure rests the next starts.
#include "app/update/UpdateCheck.h"

#include <functional>
#include <memory>

class QThread;

namespace ven {

class TStartupUpdateCheck {
public:
    using TFinished = std::function<void(const TStartupCheckResult& result)>;

    /// update must outlive this object.
    explicit TStartupUpdateCheck(IWebUpdate& update);
    /// Stops a check under way at once (its transfer is aborted) and waits for the worker; the
    /// finished callback is then never called.
    ~TStartupUpdateCheck();
    TStartupUpdateCheck(const TStartupUpdateCheck&) = delete;
    TStartupUpdateCheck& operator=(const TStartupUpdateCheck&) = delete;

    /// Starts the check and returns at once; false when this start makes none. finished runs on
    /// this thread when the check is over (at once, before Start returns, for a component that
    /// cannot be cloned).
    bool Start(TFinished finished);
    /// A check started and not yet over.
    bool Running() const;

private:
    struct TWorker;
    void _Finish();

    IWebUpdate& _update;
    TFinished _finished;
    std::shared_ptr<TWorker> _pWorker;
    std::unique_ptr<QThread> _pThread;
};

} // namespace ven
