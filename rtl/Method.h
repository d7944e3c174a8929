#pragma once
// A method pointer: the pair (object, code). Two are equal only when both parts match; it is
// "assigned" when its object part is set. Events everywhere use this, so that a handler can be
// found again and removed.
#include <cstring>
#include <type_traits>

namespace rtl {

template <class Sig> class TMethod;

template <class R, class... A> class TMethod<R(A...)> {
public:
    TMethod() noexcept = default;

    /// Binds obj->method.
    template <class C> TMethod(C* obj, R (C::*method)(A...)) noexcept { Bind(obj, method); }
    template <class C> TMethod(const C* obj, R (C::*method)(A...) const) noexcept { Bind(obj, method); }

    bool Assigned() const noexcept { return _pObject != nullptr; }
    explicit operator bool() const noexcept { return Assigned(); }
    const void* Object() const noexcept { return _pObject; }

    R operator()(A... args) const { return _pInvoke(_pObject, _code, static_cast<A>(args)...); }

    /// The same (object, code) pair seen with another signature, so that callbacks of several shapes
    /// can share one list; call it only after casting it back to the shape it was bound with.
    template <class Other> static TMethod Cast(const TMethod<Other>& m) noexcept {
        TMethod r;
        r._pObject = m._pObject;
        r._pInvoke = reinterpret_cast<Invoker>(reinterpret_cast<void (*)()>(m._pInvoke));
        std::memcpy(r._code, m._code, sizeof r._code);
        return r;
    }

    friend bool operator==(const TMethod& a, const TMethod& b) noexcept {
        // The invoker is left out: each shared library instantiates its own copy, so the same
        // (object, method) bound in two libraries must still compare equal.
        return a._pObject == b._pObject && std::memcmp(a._code, b._code, sizeof a._code) == 0;
    }

private:
    template <class> friend class TMethod;
    struct Dummy {
        void f();
    };
    using Invoker = R (*)(void*, const unsigned char*, A...);

    template <class C, class M> void Bind(C* obj, M method) noexcept {
        static_assert(sizeof(M) <= sizeof(_code), "method pointer too large");
        _pObject = const_cast<std::remove_const_t<C>*>(obj);
        std::memcpy(_code, &method, sizeof(M));
        _pInvoke = [](void* o, const unsigned char* code, A... args) -> R {
            M m;
            std::memcpy(&m, code, sizeof(M));
            return (static_cast<C*>(o)->*m)(static_cast<A>(args)...);
        };
    }

    void* _pObject = nullptr;
    Invoker _pInvoke = nullptr;
    unsigned char _code[2 * sizeof(void*)] = {};
};

class TObject;
/// The common (sender) event shape.
using TNotifyEvent = TMethod<void(TObject*)>;

} // namespace rtl
