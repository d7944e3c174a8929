#include "app/core/DatasetReadAhead.h"

#include "rtl/Exceptions.h"
#include "rtl/Thread.h"
#include "sage_datasets/SageDataset.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <utility>

namespace ven {

namespace {

struct TSlot {
    sage::TSageDataset* Dataset = nullptr;
    sage::TSageLeftOut WhyNot;
    bool Loaded = false;
    bool Taken = false;
};

} // namespace

// Shared by the workers and the taker, and kept alive by each: a worker never outlives it.
class TDatasetReadAhead::TState {
public:
    TState(sage::TSageDatasetFactory& factory, std::vector<TCandidate> candidates)
        : _factory(factory), _vCandidates(std::move(candidates)), _vSlots(_vCandidates.size()) {}

    ~TState() {
        for (TSlot& slot : _vSlots) {
            if (!slot.Taken) {
                rtl::Free(slot.Dataset);
            }
        }
    }

    std::size_t Count() const noexcept { return _vSlots.size(); }

    // A worker's whole life: load the next candidate nobody has begun until none is left.
    void Work() {
        while (const std::optional<std::size_t> index = Claim()) {
            const TCandidate& candidate = _vCandidates[*index];
            sage::TSageLeftOut whyNot;
            sage::TSageDataset* dataset = _factory.MakeDatasetAndLoad(
                candidate.Folder, &whyNot, candidate.Identity ? &*candidate.Identity : nullptr);
            ReadReturns(dataset);
            Deliver(*index, dataset, std::move(whyNot));
        }
    }

    void Stop() {
        std::lock_guard<std::mutex> lock(_mutex);
        _blStopped = true;
    }

    sage::TSageDataset* Take(std::size_t index, sage::TSageLeftOut& whyNot) {
        std::unique_lock<std::mutex> lock(_mutex);
        TSlot& slot = _vSlots.at(index);
        if (slot.Taken) {
            throw rtl::Exception(u"Dataset read-ahead: candidate taken twice");
        }
        _loaded.wait(lock, [&slot] { return slot.Loaded; });
        slot.Taken = true;
        whyNot = std::move(slot.WhyNot);
        return std::exchange(slot.Dataset, nullptr);
    }

private:
    std::optional<std::size_t> Claim() {
        std::lock_guard<std::mutex> lock(_mutex);
        if (_blStopped || _nNext >= _vSlots.size()) {
            return std::nullopt;
        }
        return _nNext++;
    }

    // The returns are most of a dataset's files; the loader needs them at once to order the datasets.
    static void ReadReturns(sage::TSageDataset* dataset) noexcept {
        try {
            if (dataset) {
                dataset->VatReturns();
            }
        } catch (...) {
            // Read again where they are first needed, and failing there as they would have.
        }
    }

    void Deliver(std::size_t index, sage::TSageDataset* dataset, sage::TSageLeftOut whyNot) {
        {
            std::lock_guard<std::mutex> lock(_mutex);
            TSlot& slot = _vSlots[index];
            slot.Dataset = dataset;
            slot.WhyNot = std::move(whyNot);
            slot.Loaded = true;
        }
        _loaded.notify_all();
    }

    sage::TSageDatasetFactory& _factory;
    const std::vector<TCandidate> _vCandidates;
    std::mutex _mutex;
    std::condition_variable _loaded;
    std::vector<TSlot> _vSlots;
    std::size_t _nNext = 0;
    bool _blStopped = false;
};

class TReadAheadWorker : public rtl::TThread {
public:
    explicit TReadAheadWorker(std::shared_ptr<TDatasetReadAhead::TState> state)
        : rtl::TThread(false), _pState(std::move(state)) {}

protected:
    void Execute() override {
        NameThreadForDebugging(u"Dataset read");
        _pState->Work();
    }

private:
    std::shared_ptr<TDatasetReadAhead::TState> _pState;
};

TDatasetReadAhead::TDatasetReadAhead(sage::TSageDatasetFactory& factory, std::vector<TCandidate> candidates,
                                     std::size_t threads)
    : _pState(std::make_shared<TState>(factory, std::move(candidates))) {
    const std::size_t count = std::min(std::max<std::size_t>(threads, 1), _pState->Count());
    try {
        for (std::size_t i = 0; i < count; ++i) {
            _vWorkers.push_back(rtl::Create<TReadAheadWorker>(_pState));
        }
    } catch (...) {
        // No thread to be had: whatever started carries the whole list; with none, nothing would.
        if (_vWorkers.empty()) {
            throw;
        }
    }
}

TDatasetReadAhead::~TDatasetReadAhead() {
    _pState->Stop();
    for (TReadAheadWorker* worker : _vWorkers) {
        rtl::Free(worker); // waits for the load under way
    }
}

std::size_t TDatasetReadAhead::Count() const noexcept {
    return _pState->Count();
}

sage::TSageDataset* TDatasetReadAhead::Take(std::size_t index, sage::TSageLeftOut& whyNot) {
    return _pState->Take(index, whyNot);
}

} // namespace ven
