#include "rtl/ObjectHooks.h"

#include "rtl/SyncObjs.h"

#include <new>

namespace rtl {

namespace {

// The block sits in front of the object, padded so the object keeps the strictest alignment.
constexpr std::size_t kHeader = (sizeof(TControlBlock) + alignof(std::max_align_t) - 1) /
                                alignof(std::max_align_t) * alignof(std::max_align_t);

// operator new cannot hand the block to the constructor, so it leaves it here for the root
// constructor of the object at that address to claim. Blocks allocated while another object's
// constructor arguments are still being evaluated stack up; each is claimed exactly, however many
// there are. Initial-exec: the runtime is linked by its programs, never loaded later.
[[gnu::tls_model("initial-exec")]] thread_local TControlBlock* t_pPending = nullptr;

TControlBlock* ClaimBlock(void* storage) noexcept {
    for (TControlBlock** link = &t_pPending; *link; link = &(*link)->pPendingNext) {
        TControlBlock* block = *link;
        if (reinterpret_cast<char*>(block) + kHeader == storage) {
            *link = block->pPendingNext;
            block->pPendingNext = nullptr;
            return block;
        }
    }
    return nullptr; // not made by operator new: on the stack, static, or a member
}

} // namespace

void TControlBlock::Release() noexcept {
    // The last reference needs no atomic decrement: pins are only taken from holders of a live
    // object, so nobody can take one while the last reference goes.
    if (nRefs.load(std::memory_order_acquire) == 1 || nRefs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        this->~TControlBlock();
        ::operator delete(static_cast<void*>(this));
    }
}

TObject::TObject() noexcept : _pBlock(ClaimBlock(this)) {}

TObject::~TObject() {
    MarkFreed();
    // A monitor held by a dying object dies with it, so a later object at this address starts unlocked.
    if (TReentrantLock* monitor = _pMonitor.load(std::memory_order_acquire))
        delete monitor;
}

void* TObject::operator new(std::size_t size) {
    char* raw = static_cast<char*>(::operator new(kHeader + size));
    auto* block = new (raw) TControlBlock;
    block->pPendingNext = t_pPending;
    t_pPending = block;
    return raw + kHeader;
}

void TObject::operator delete(void* p) noexcept {
    if (!p)
        return;
    void* storage = p;
    ClaimBlock(storage); // a constructor that threw before the root one ran leaves its slot behind
    reinterpret_cast<TControlBlock*>(static_cast<char*>(storage) - kHeader)->Release();
}

void TObject::Free(TObject* obj) {
    if (!obj)
        return;
    if (TControlBlock* b = obj->_pBlock) {
        // Unpinned, the object is reached only by whoever frees it, so a plain store marks it; a
        // pin may be another thread's, whose Free must see exactly one winner.
        const std::uint32_t state = b->nState.load(std::memory_order_acquire);
        if (state & TControlBlock::kFreeing)
            return;
        if (b->nRefs.load(std::memory_order_acquire) == 1)
            b->nState.store(state | TControlBlock::kFreeing, std::memory_order_release);
        else if (b->nState.fetch_or(TControlBlock::kFreeing, std::memory_order_acq_rel) & TControlBlock::kFreeing)
            return;
    }
    obj->BeforeDestruction();
    delete obj;
}

void TObject::MarkFreed() noexcept {
    // State bits are only ever added, and these are all of them: a plain store loses nothing that a
    // racing Free could add, and costs no locked instruction.
    constexpr std::uint32_t kGone = TControlBlock::kFreeing | TControlBlock::kFreed;
    if (_pBlock && _pBlock->nState.load(std::memory_order_relaxed) != kGone)
        _pBlock->nState.store(kGone, std::memory_order_release);
}

TClass::~TClass() = default;

} // namespace rtl
