#include "app/update/StartupUpdateCheck.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <mutex>

namespace ven {

// Shared by the two threads. Busy is held by the worker while it uses the clone, so the caller's
// thread reads what the clone found only once the worker has let go of it.
struct TStartupUpdateCheck::TWorker {
    std::unique_ptr<IWebUpdate> Clone;
    std::mutex Busy;
    std::mutex Lock;           // guards what follows
    QObject* Anchor = nullptr; // lives on the worker thread while it asks
    bool Stop = false;
    TChannelFinding Finding;
};

TStartupUpdateCheck::TStartupUpdateCheck(IWebUpdate& update) : _update(update) {}

TStartupUpdateCheck::~TStartupUpdateCheck() {
    if (!_pThread) {
        return;
    }
    {
        std::lock_guard lock(_pWorker->Lock);
        _pWorker->Stop = true;
        if (_pWorker->Anchor) {
            // The clone's transfer belongs to its thread: Cancel goes there, through its event loop.
            IWebUpdate* clone = _pWorker->Clone.get();
            QMetaObject::invokeMethod(
                _pWorker->Anchor, [clone] { clone->Cancel(); }, Qt::QueuedConnection);
        }
    }
    _pThread->wait();
}

bool TStartupUpdateCheck::Running() const {
    return _pThread && !_pThread->isFinished();
}

bool TStartupUpdateCheck::Start(TFinished finished) {
    if (_pThread) {
        return false; // one check per start
    }
    TStartupPlan plan = PlanStartupCheck(_update);
    if (!plan.Check) {
        return false;
    }
    _finished = std::move(finished);
    std::unique_ptr<IWebUpdate> clone = _update.CloneForCheck();
    if (!clone) {
        _finished(FinishStartupCheck(_update, FindNewVersion(_update, plan.Beta)));
        return true;
    }
    _pWorker = std::make_shared<TWorker>();
    _pWorker->Clone = std::move(clone);
    _pThread.reset(QThread::create([worker = _pWorker, beta = plan.Beta] {
        std::lock_guard busy(worker->Busy);
        QObject anchor;
        {
            std::lock_guard lock(worker->Lock);
            if (worker->Stop) {
                return;
            }
            worker->Anchor = &anchor;
        }
        TChannelFinding finding = FindNewVersion(*worker->Clone, beta, [&worker] {
            std::lock_guard lock(worker->Lock);
            return worker->Stop;
        });
        std::lock_guard lock(worker->Lock);
        worker->Anchor = nullptr;
        worker->Finding = std::move(finding);
    }));
    // The thread object lives on this thread, so the call comes here, after the worker's end.
    QObject::connect(
        _pThread.get(), &QThread::finished, _pThread.get(), [this] { _Finish(); }, Qt::QueuedConnection);
    _pThread->start();
    return true;
}

void TStartupUpdateCheck::_Finish() {
    TChannelFinding finding;
    {
        std::lock_guard busy(_pWorker->Busy);
        std::lock_guard lock(_pWorker->Lock);
        if (_pWorker->Stop) {
            return;
        }
        finding = _pWorker->Finding;
    }
    _update.TakeFinding(*_pWorker->Clone);
    TStartupCheckResult result = FinishStartupCheck(_update, finding);
    if (_finished) {
        _finished(result);
    }
}

} // namespace ven
