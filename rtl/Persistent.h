#pragma once
// The persistent base: objects that copy their state from one another through Assign / AssignTo.
#include "ObjectHooks.h"
#include "RtlApi.h"

namespace rtl {

/// Reads and writes the values of a persistent object (rtl/Filer.h).
class TFiler;

class RTL_API TPersistent : public TObject {
public:
    /// Copies source's state into this object: asks source->AssignTo(this). A null source, or a pair
    /// that neither side knows how to copy, raises EConvertError "Cannot assign a <src> to a <dest>".
    virtual void Assign(const TPersistent* source);
    /// The object that owns this one, or null.
    TPersistent* Owner() { return GetOwner(); }
    /// The name of the most derived class, as written in the source ("TPersistent").
    const char* ClassName() const;

protected:
    friend class TFiler; // the filer asks an object for its properties
    /// Copies this object into dest; the base raises the assignment error.
    virtual void AssignTo(TPersistent* dest) const;
    /// Declares values the filer reads and writes beyond the published ones; none by default.
    virtual void DefineProperties(TFiler* filer);
    virtual TPersistent* GetOwner();

    /// Raises EConvertError naming source (or "nil") and this object's class.
    [[noreturn]] void AssignError(const TPersistent* source) const;
};

} // namespace rtl
