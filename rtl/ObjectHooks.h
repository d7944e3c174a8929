#pragma once
// The root object class with its construction and destruction hooks, and class references.
#include "RtlApi.h"

#include <utility>

namespace rtl {

/// Root of every class that needs an after-construction or before-destruction hook, or that is
/// held as the object of a string-list entry.
class RTL_API TObject {
public:
    TObject() = default;
    TObject(const TObject&) = delete;
    TObject& operator=(const TObject&) = delete;
    virtual ~TObject();

    /// Runs right after the constructor when the object is made through rtl::Create.
    virtual void AfterConstruction() {}
    /// Runs right before the destructor when the object is freed through rtl::Free.
    virtual void BeforeDestruction() {}
};

/// Constructs T and runs its AfterConstruction; the object is deleted again if the hook throws.
template <class T, class... Args> T* Create(Args&&... args) {
    T* p = new T(std::forward<Args>(args)...);
    try {
        p->AfterConstruction();
    } catch (...) {
        delete p;
        throw;
    }
    return p;
}

/// Runs BeforeDestruction, then deletes. Null is ignored.
template <class T> void Free(T* p) {
    if (p) {
        p->BeforeDestruction();
        delete p;
    }
}

/// Frees the object and clears the variable first, so the variable never points at a dying object.
template <class T> void FreeAndNil(T*& p) {
    T* q = p;
    p = nullptr;
    Free(q);
}

/// A class reference: a metaclass object whose virtual Create builds an object of the class it
/// stands for, typed as the base class.
template <class Base, class... Args> class TClassRef {
public:
    virtual ~TClassRef() = default;
    virtual Base* Create(Args... args) const = 0;
    virtual const char* ClassName() const = 0;
};

/// The class reference of Derived, seen as a reference to Base.
template <class Derived, class Base, class... Args> class TClassOf final : public TClassRef<Base, Args...> {
public:
    explicit constexpr TClassOf(const char* name) : _szName(name) {}
    Base* Create(Args... args) const override { return rtl::Create<Derived>(args...); }
    const char* ClassName() const override { return _szName; }

private:
    const char* _szName;
};

} // namespace rtl
