#pragma once
// A property set shared by reference: changes go out through a subscribed event, so any number of
// listeners can follow it, and an update blocks that event.
#include "utils/UtilsApi.h"
#include "utils/framework/ORVI.PropertySet.h"
#include "utils/framework/ORVI.ReferencedPersistent.h"
#include "utils/framework/ORVI.SubscribedEvent.h"

namespace orvi {

class TORVIReferencedPropertySet;
/// Creates referenced property sets by class, with their owner.
using TORVIReferencedPropertySetClass = rtl::TClassRef<TORVIReferencedPropertySet, rtl::TPersistent*>;

/// Declares, inside referenced property set class TThis, the class reference that Duplicate creates
/// and Equals compares. Every set class states it once; one that inherits its base's fails to be made.
#define ORVI_REFERENCED_PROPERTY_SET_CLASS(TThis)                                                            \
public:                                                                                                      \
    const ::orvi::TORVIReferencedPropertySetClass& ClassRef() const override {                               \
        return ::orvi::ORVISetClass<TThis, ::orvi::TORVIReferencedPropertySet>(#TThis);                      \
    }

/// Base of referenced property sets. Descendants add properties, call _Change from their setters,
/// override Assign and EqualTo, and declare their class reference (ORVI_REFERENCED_PROPERTY_SET_CLASS).
/// Listeners subscribe to ChangeEvent; they receive the set as Sender. It lives as a referenced object
/// (see TORVIReferencedPersistent); a listener may free it, which ends the firing.
class UTILS_API TORVIReferencedPropertySet : public TORVIReferencedPersistent {
public:
    explicit TORVIReferencedPropertySet(rtl::TPersistent* AOwner = nullptr);
    /// Raises rtl::Exception when the class does not declare its own class reference.
    void AfterConstruction() override;

    /// The class Duplicate creates.
    virtual const TORVIReferencedPropertySetClass& ClassRef() const;

    /// Blocks ChangeEvent: changes are held back.
    virtual void BeginUpdate();
    /// Unblocks ChangeEvent; held-back changes are reported once when it is no longer blocked.
    virtual void EndUpdate();
    /// Runs the change hooks when not in an update, and fires (or, in an update, counts) ChangeEvent.
    virtual void _Change();
    virtual TORVIReferencedPropertySet* Duplicate();
    virtual TORVIReferencedPropertySet* Duplicate(rtl::TPersistent* pNewOwner);
    /// Same object: true; nil or not of this set's class: false; otherwise EqualTo.
    virtual bool Equals(const rtl::TObject* Obj) const;
    /// Whether Other holds the same values; descendants compare their properties.
    virtual bool EqualTo(const TORVIReferencedPropertySet* Other) const;

    TORVISubscribedEvent* ChangeEvent() { return _GetChangeEvent(); }
    /// Whether ChangeEvent is blocked.
    virtual bool _GetInUpdate();

protected:
    ~TORVIReferencedPropertySet() override;

    virtual void _AfterChange() {}
    virtual void _BeforeChange() {}
    virtual void _DoChange() {}
    virtual TORVIReferencedPropertySet* _Duplicate(rtl::TPersistent* pNewOwner);
    virtual TORVISubscribedEvent* _GetChangeEvent() { return _pChange; }
    /// The change hooks, in order; also run when an update ends with changes held back.
    virtual void _UnBlocked(rtl::TObject* Sender);

private:
    TORVISubscribedEvent* _pChange;
};

} // namespace orvi
