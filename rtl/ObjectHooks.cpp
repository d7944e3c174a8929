#include "rtl/ObjectHooks.h"

#include "rtl/SyncObjs.h"

#include <new>

#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define RTL_KEEPS_OBJECT_STORAGE 1
#include <malloc.h>
#endif
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#undef RTL_KEEPS_OBJECT_STORAGE
#endif
#endif

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

#ifdef RTL_KEEPS_OBJECT_STORAGE
// The storage of small objects freed on this thread, kept for the next ones of about its size:
// many objects are made and freed one after another (a parse's nodes), and the allocator's round
// trip costs more than such an object's own work. Off under the sanitizers, which must see every
// allocation and free.
struct TKeptStorage {
    static constexpr std::size_t kSlots = 16;
    static constexpr std::size_t kLargest = 1024; // larger storage goes back at once
    static constexpr std::size_t kSlack = 64;     // a request is served by storage at most this much larger
    std::size_t nUsable;                          // what each kept piece holds
    std::size_t nKept;
    bool blOwned; // the thread's end gives the pieces back
    bool blGone;  // the thread is ending: storage goes back at once
    void* Pieces[kSlots];
};
// Plain data, so that it is reached without a call; what the thread's end does is registered by
// the first piece kept.
[[gnu::tls_model("initial-exec")]] thread_local TKeptStorage t_kept{};

struct TKeptStorageOwner {
    ~TKeptStorageOwner() {
        t_kept.blGone = true;
        while (t_kept.nKept)
            ::operator delete(t_kept.Pieces[--t_kept.nKept]);
    }
};

[[gnu::noinline]] void OwnKeptStorage() {
    thread_local TKeptStorageOwner owner;
    (void)owner;
    t_kept.blOwned = true;
}
#endif

void* TakeStorage(std::size_t bytes) {
#ifdef RTL_KEEPS_OBJECT_STORAGE
    TKeptStorage& kept = t_kept;
    if (kept.nKept != 0 && bytes <= kept.nUsable && kept.nUsable - bytes <= TKeptStorage::kSlack)
        return kept.Pieces[--kept.nKept];
#endif
    return ::operator new(bytes);
}

// bytes: what the storage was taken for, 0 when not known here. Inline: every object freed comes
// here.
[[gnu::always_inline]] inline void GiveBackStorage(void* storage, std::size_t bytes) noexcept {
#ifdef RTL_KEEPS_OBJECT_STORAGE
    TKeptStorage& kept = t_kept;
    if (!kept.blGone && kept.nKept < TKeptStorage::kSlots) {
        // What was asked for is held, whatever the allocator rounded it up to.
        const std::size_t usable = bytes != 0 ? bytes : malloc_usable_size(storage);
        if (kept.nKept == 0 && usable <= TKeptStorage::kLargest)
            kept.nUsable = usable;
        if (usable == kept.nUsable) {
            if (!kept.blOwned)
                OwnKeptStorage();
            kept.Pieces[kept.nKept++] = storage;
            return;
        }
    }
#else
    (void)bytes;
#endif
    ::operator delete(storage);
}

// Release, for the calls inside this unit: exported functions are called through the library's
// table even from here, and every object freed comes this way.
inline void ReleaseBlock(TControlBlock* block, std::size_t bytes = 0) noexcept {
    // The last reference needs no atomic decrement: pins are only taken from holders of a live
    // object, so nobody can take one while the last reference goes.
    if (block->nRefs.load(std::memory_order_acquire) == 1 ||
        block->nRefs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        block->~TControlBlock();
        GiveBackStorage(static_cast<void*>(block), bytes);
    }
}

} // namespace

void TControlBlock::Release() noexcept {
    ReleaseBlock(this);
}

TObject::TObject() noexcept : _pBlock(ClaimBlock(this)) {}

void TObject::_DropMonitor() noexcept {
    delete _pMonitor.load(std::memory_order_acquire);
}

// Out of line, so that the class's virtual table has its one home here.
void TObject::BeforeDestruction() {}

void* TObject::operator new(std::size_t size) {
    char* raw = static_cast<char*>(TakeStorage(kHeader + size));
    auto* block = new (raw) TControlBlock;
    block->pPendingNext = t_pPending;
    t_pPending = block;
    return raw + kHeader;
}

void TObject::operator delete(void* p, std::size_t size) noexcept {
    if (!p)
        return;
    void* storage = p;
    ClaimBlock(storage); // a constructor that threw before the root one ran leaves its slot behind
    ReleaseBlock(reinterpret_cast<TControlBlock*>(static_cast<char*>(storage) - kHeader), kHeader + size);
}

void TObject::Free(TObject* obj) {
    if (!obj)
        return;
    if (TControlBlock* b = obj->_pBlock) {
        // Locked even when no pin is out now: another thread that knows the object alive may pin
        // it and free it at once, and exactly one of the two must win.
        if (b->nState.fetch_or(TControlBlock::kFreeing, std::memory_order_acq_rel) & TControlBlock::kFreeing)
            return;
    }
    obj->BeforeDestruction();
    delete obj;
}

void TObject::MarkFreed() noexcept {
    if (_pBlock)
        _pBlock->MarkGone();
}

TClass::~TClass() = default;

} // namespace rtl
