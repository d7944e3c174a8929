#pragma once
// The root object class with its construction and destruction hooks, its lifetime block and pins,
// and class references.
#include "ClassRelations.h"
#include "RtlApi.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <typeinfo>
#include <utility>

namespace rtl {

class TReentrantLock;

/// The small block allocated in front of every heap object of the root class. It outlives the
/// object for as long as a pin holds it, so "is it freed?" can always be asked without touching
/// the object's storage.
struct TControlBlock {
    static constexpr std::uint32_t kFreeing = 1; // Free has begun: BeforeDestruction runs
    static constexpr std::uint32_t kFreed = 2;   // the destructor has done its work
    std::atomic<std::uint32_t> nRefs{1};         // one for the object's storage, one per pin
    std::atomic<std::uint32_t> nState{0};
    TControlBlock* pPendingNext = nullptr;       // allocated, not yet claimed by its object's constructor

    /// Drops one reference; the block (and the storage behind it) goes with the last.
    RTL_API void Release() noexcept;
    /// Sets both state bits. They are only ever added, and these are all of them: a plain store
    /// loses nothing that a racing Free could add, and costs no locked instruction.
    void MarkGone() noexcept {
        constexpr std::uint32_t kGone = kFreeing | kFreed;
        if (nState.load(std::memory_order_relaxed) != kGone)
            nState.store(kGone, std::memory_order_release);
    }
};

/// Root of every class that needs an after-construction or before-destruction hook, or that is
/// held as the object of a string-list entry. Heap objects carry a control block (see TPin);
/// TObject must be the first base of a class for its block to be found (rtl::Create and TPin refuse
/// to compile for a class where it is not, see IsRootFirst).
class RTL_API TObject {
public:
    TObject() noexcept;
    TObject(const TObject&) = delete;
    TObject& operator=(const TObject&) = delete;
    virtual ~TObject();

    /// Allocates the control block and the object in one piece.
    static void* operator new(std::size_t size);
    /// Gives back the object's share of its block; the storage goes once no pin holds it. The size
    /// is the object's own (its class's, through the virtual destructor).
    static void operator delete(void* p, std::size_t size) noexcept;

    /// Runs right after the constructor when the object is made through rtl::Create.
    virtual void AfterConstruction() {}
    /// Runs right before the destructor when the object is freed through rtl::Free.
    virtual void BeforeDestruction();

    /// The dynamic class of the object.
    const std::type_info& ClassType() const noexcept { return typeid(*this); }
    /// Whether the object is a C, or derives from it.
    template <class C> bool InheritsFrom() const noexcept { return dynamic_cast<const C*>(this) != nullptr; }

    /// The lifetime block; null for objects that do not live on the heap.
    TControlBlock* ControlBlock() const noexcept { return _pBlock; }
    /// True once Free has begun on this object.
    bool Freeing() const noexcept { return _pBlock && (_pBlock->nState.load(std::memory_order_acquire) & TControlBlock::kFreeing); }

    /// Frees obj: BeforeDestruction, then the destructor. A second call while the first is under way
    /// (from a handler that BeforeDestruction reached) does nothing. Null is ignored.
    static void Free(TObject* obj);

protected:
    /// Marks the block freed before the root destructor would, for classes whose destructor does
    /// notify work after which they count as freed.
    void MarkFreed() noexcept;

private:
    friend class TMonitor;
    void _DropMonitor() noexcept;
    TControlBlock* _pBlock;
    std::atomic<TReentrantLock*> _pMonitor{nullptr}; // made on first TMonitor::Enter
};

// Inline: every object's destruction ends here.
inline TObject::~TObject() {
    if (_pBlock)
        _pBlock->MarkGone();
    // A monitor held by a dying object dies with it, so a later object at this address starts unlocked.
    if (_pMonitor.load(std::memory_order_acquire))
        _DropMonitor();
}

namespace detail {
// Storage for a T that is never constructed: enough to ask at compile time where its bases lie.
template <class T> union TLayoutProbe {
    char c;
    T t;
    constexpr TLayoutProbe() : c() {}
    constexpr ~TLayoutProbe() {}
};
} // namespace detail

/// Whether T's TObject base starts where T does, which is where operator new hands the object its
/// control block. Answered at compile time by GCC; other compilers (and abstract classes, which are
/// checked through their concrete descendants) answer true.
template <class T> constexpr bool IsRootFirst() {
    static_assert(std::is_base_of_v<TObject, T>, "not a TObject");
#if defined(__GNUC__) && !defined(__clang__)
    if constexpr (!std::is_abstract_v<T>) {
        const detail::TLayoutProbe<T> probe;
        const TObject* root = &probe.t;
        return static_cast<const void*>(root) == static_cast<const void*>(&probe.t);
    }
#endif
    return true;
}

/// A weak handle on an object: it keeps the object's control block (never the object) alive, so
/// that a frame holding a pointer across a call that may free the object can ask afterwards.
/// Take it while the object is known to be alive.
template <class T = TObject> class TPin {
public:
    /// Marks a pin made from a block reference its maker already counted (see TPinStock).
    struct TAdopt {};

    TPin() noexcept = default;
    explicit TPin(T* obj) noexcept : _pObject(obj), _pBlock(obj ? obj->ControlBlock() : nullptr) {
        static_assert(IsRootFirst<T>(), "TObject must be the first base: its control block is not found otherwise");
        if (_pBlock)
            _pBlock->nRefs.fetch_add(1, std::memory_order_relaxed);
    }
    /// A pin on obj that takes over one reference on its block the caller has already counted.
    TPin(T* obj, TAdopt) noexcept : _pObject(obj), _pBlock(obj ? obj->ControlBlock() : nullptr) {
        static_assert(IsRootFirst<T>(), "TObject must be the first base: its control block is not found otherwise");
    }
    TPin(const TPin& o) noexcept : TPin() { *this = o; }
    TPin(TPin&& o) noexcept : _pObject(o._pObject), _pBlock(o._pBlock) {
        o._pObject = nullptr;
        o._pBlock = nullptr;
    }
    TPin& operator=(const TPin& o) noexcept {
        if (this != &o) {
            if (o._pBlock)
                o._pBlock->nRefs.fetch_add(1, std::memory_order_relaxed);
            Reset();
            _pObject = o._pObject;
            _pBlock = o._pBlock;
        }
        return *this;
    }
    TPin& operator=(TPin&& o) noexcept {
        if (this != &o) {
            Reset();
            std::swap(_pObject, o._pObject);
            std::swap(_pBlock, o._pBlock);
        }
        return *this;
    }
    ~TPin() { Reset(); }

    void Reset() noexcept {
        if (_pBlock)
            _pBlock->Release();
        _pBlock = nullptr;
        _pObject = nullptr;
    }
    /// Empties the pin without giving back its block reference, which passes to the caller (null
    /// when the pin held none).
    TControlBlock* Detach() noexcept {
        TControlBlock* block = _pBlock;
        _pBlock = nullptr;
        _pObject = nullptr;
        return block;
    }
    /// True when the object's destructor has run (or no object is pinned).
    // Inline always: asked on every step of hot loops, where a call costs more than the answer.
    [[gnu::always_inline]] bool Freed() const noexcept { return !_pObject || (_pBlock && (State() & TControlBlock::kFreed)); }
    /// True once freeing has begun, or the object is gone.
    [[gnu::always_inline]] bool Freeing() const noexcept { return !_pObject || (_pBlock && (State() & TControlBlock::kFreeing)); }
    /// The object, or null once it is freed.
    [[gnu::always_inline]] T* Get() const noexcept { return Freed() ? nullptr : _pObject; }
    /// The pinned address, whether or not the object still lives there (for identity tests only).
    const void* Address() const noexcept { return _pObject; }
    /// The pinned object, whether or not it still lives, for a holder that tells freed objects
    /// apart by the block's state itself (see Block).
    T* Pinned() const noexcept { return _pObject; }
    /// The pinned object's block; null for an empty pin or an object off the heap.
    const TControlBlock* Block() const noexcept { return _pBlock; }

private:
    [[gnu::always_inline]] std::uint32_t State() const noexcept { return _pBlock->nState.load(std::memory_order_acquire); }
    T* _pObject = nullptr;
    TControlBlock* _pBlock = nullptr;
};

/// Pins on one object, for that object's own use on one thread at a time: it pins itself for each
/// thing it makes (which holds its maker's pin as long as it lives) and around its own handlers.
/// References on the block are taken from its shared count a batch at a time and pins given back
/// while the object lives are kept for the next, so neither costs a locked instruction. The object
/// closes the stock in its destructor, giving back what is left; pins still out stay counted on
/// the block and go back to it in the usual way.
class TPinStock {
public:
    TPinStock() noexcept = default;
    TPinStock(const TPinStock&) = delete;
    TPinStock& operator=(const TPinStock&) = delete;
    ~TPinStock() { Close(); }

    /// A pin on owner, the object that holds this stock (alive, not yet destroyed).
    template <class T> TPin<T> Take(T* owner) noexcept {
        if (_blClosed)
            return TPin<T>(owner);
        if (_nHeld == 0) {
            TControlBlock* block = owner->ControlBlock();
            if (!block)
                return TPin<T>(owner); // not on the heap: nothing to count
            _pBlock = block;
            block->nRefs.fetch_add(kBatch, std::memory_order_relaxed);
            _nHeld = kBatch;
        }
        --_nHeld;
        return TPin<T>(owner, typename TPin<T>::TAdopt{});
    }
    /// Takes pin back into the stock when it pins the owner and the stock is still open; gives
    /// it back to its block otherwise. The pin is empty after.
    template <class T> void GiveBack(TPin<T>& pin) noexcept {
        TControlBlock* block = pin.Detach();
        if (block && block == _pBlock && !_blClosed)
            ++_nHeld;
        else if (block)
            block->Release();
    }
    /// Gives back every reference held; later pins are taken and given back one by one.
    void Close() noexcept {
        _blClosed = true;
        if (_nHeld != 0)
            _pBlock->nRefs.fetch_sub(_nHeld, std::memory_order_acq_rel); // the owner's own share outlives this
        _nHeld = 0;
    }

private:
    static constexpr std::uint32_t kBatch = 64;
    TControlBlock* _pBlock = nullptr;
    std::uint32_t _nHeld = 0;
    bool _blClosed = false;
};

/// Constructs T and runs its AfterConstruction; the object is deleted again if the hook throws.
template <class T, class... Args> T* Create(Args&&... args) {
    static_assert(IsRootFirst<T>(), "TObject must be the first base: its control block is not found otherwise");
    T* p = new T(std::forward<Args>(args)...);
    try {
        p->AfterConstruction();
    } catch (...) {
        delete static_cast<TObject*>(p);
        throw;
    }
    return p;
}

/// Runs BeforeDestruction, then the destructor (see TObject::Free). Null is ignored.
template <class T> void Free(T* p) {
    TObject::Free(p);
}

/// Frees the object and clears the variable first, so the variable never points at a dying object.
template <class T> void FreeAndNil(T*& p) {
    T* q = p;
    p = nullptr;
    Free(q);
}

/// What every class reference answers, whatever base it creates.
class RTL_API TClass {
public:
    virtual ~TClass();
    virtual const char* ClassName() const = 0;
    /// The class this stands for.
    virtual const std::type_info& TypeInfo() const noexcept = 0;
    /// Whether the class this stands for is other's class or derives from it.
    bool InheritsFrom(const TClass& other) const noexcept {
        return TypeDerivesFrom(TypeInfo(), other.TypeInfo());
    }
};

/// A class reference: a metaclass object whose virtual Create builds an object of the class it
/// stands for, typed as the base class.
template <class Base, class... Args> class TClassRef : public TClass {
public:
    virtual Base* Create(Args... args) const = 0;
};

/// The class reference of Derived, seen as a reference to Base.
template <class Derived, class Base, class... Args> class TClassOf final : public TClassRef<Base, Args...> {
public:
    explicit constexpr TClassOf(const char* name) : _szName(name) {}
    Base* Create(Args... args) const override { return rtl::Create<Derived>(args...); }
    const char* ClassName() const override { return _szName; }
    const std::type_info& TypeInfo() const noexcept override { return typeid(Derived); }

private:
    const char* _szName;
};

} // namespace rtl
