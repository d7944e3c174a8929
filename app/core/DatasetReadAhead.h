#pragma once
// Datasets of a list of folders, loaded with their returns a few at a time on threads of their own,
// taken in list order.
#include "sage_datasets/SageDatasetFactory.h"
#include "sage_datasets/SageLeftOut.h"

#include "rtl/UnicodeString.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

namespace sage {
class TSageDataset;
}

namespace ven {

class TReadAheadWorker;

/// Opening a dataset is mostly waiting for its files: on a network share every open is a round trip
/// to the server, and on some systems every open is a round trip to a service of the system. The
/// loads of several datasets overlap those waits; the taker sees them one by one, in list order, as
/// if loaded in turn.
class TDatasetReadAhead {
public:
    struct TCandidate {
        rtl::UnicodeString Folder;
        /// The folder's identity when the search took it already (see MakeDatasetAndLoad).
        std::optional<rtl::TFileIdentity> Identity;
    };
    /// The loads in flight at most: enough to overlap the waits, few enough not to crowd a share.
    static constexpr std::size_t kMaxThreads = 4;

    /// Starts loading at once. The factory must outlive this object.
    TDatasetReadAhead(sage::TSageDatasetFactory& factory, std::vector<TCandidate> candidates,
                      std::size_t threads = kMaxThreads);
    /// Stops the loads not yet begun, waits for those under way and frees every dataset not taken.
    ~TDatasetReadAhead();
    TDatasetReadAhead(const TDatasetReadAhead&) = delete;
    TDatasetReadAhead& operator=(const TDatasetReadAhead&) = delete;

    std::size_t Count() const noexcept;
    /// Waits until candidate `index` is loaded and hands it over (the caller frees it), or returns
    /// null with whyNot filled. Each index is taken once.
    sage::TSageDataset* Take(std::size_t index, sage::TSageLeftOut& whyNot);

private:
    friend class TReadAheadWorker;
    class TState;
    std::shared_ptr<TState> _pState;
    std::vector<TReadAheadWorker*> _vWorkers;
};

} // namespace ven
