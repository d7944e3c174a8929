#pragma once
// TStringList: ordered (text, object) entries with optional sorting, case-insensitive comparison
// (folding only A..Z), duplicate handling, owned objects, custom sort and change signals.
#include "Method.h"
#include "ObjectHooks.h"
#include "RtlApi.h"
#include "UnicodeString.h"

#include <cstdint>
#include <vector>

namespace rtl {

class TStream;

enum class TDuplicates { dupIgnore, dupAccept, dupError };

class TStringList;
/// Negative when entry index1 goes before index2.
using TStringListSortCompare = int (*)(TStringList* list, int index1, int index2);

class RTL_API TStringList : public TObject {
public:
    TStringList() = default;
    explicit TStringList(bool ownsObjects) : _blOwnsObjects(ownsObjects) {}
    ~TStringList() override;

    int Count() const noexcept { return static_cast<int>(_items.size()); }
    /// Entry text; raises EListError for an index outside 0..Count-1.
    const UnicodeString& Strings(int index) const;
    /// Replaces an entry's text; raises EListError on a sorted list.
    void SetStrings(int index, const UnicodeString& s);
    TObject* Objects(int index) const;
    /// Replaces the object of an entry (an owned old object is not freed, as in the runtime).
    void SetObjects(int index, TObject* obj) { PutObject(index, obj); }

    /// Appends, or inserts in order when sorted; returns the index. A duplicate in a sorted list is
    /// ignored (returns the existing index), accepted, or raises EListError, as Duplicates says.
    int Add(const UnicodeString& s) { return AddObject(s, nullptr); }
    virtual int AddObject(const UnicodeString& s, TObject* obj);
    /// Raises EListError on a sorted list.
    void Insert(int index, const UnicodeString& s) { InsertObject(index, s, nullptr); }
    void InsertObject(int index, const UnicodeString& s, TObject* obj);
    /// Removes an entry, freeing its object when the list owns its objects.
    virtual void Delete(int index);
    virtual void Clear();
    /// Removes the entry without freeing its object; returns the object.
    TObject* Extract(int index);

    /// Index of the first entry whose text compares equal, -1 when none.
    int IndexOf(const UnicodeString& s) const;
    int IndexOfObject(const TObject* obj) const;
    /// Binary search on a sorted list: true with the index when found, else false with the
    /// index where s would go.
    bool Find(const UnicodeString& s, int& index) const;

    bool Sorted() const noexcept { return _blSorted; }
    void SetSorted(bool value);
    bool CaseSensitive() const noexcept { return _blCaseSensitive; }
    void SetCaseSensitive(bool value);
    TDuplicates Duplicates() const noexcept { return _duplicates; }
    void SetDuplicates(TDuplicates value) { _duplicates = value; }
    bool OwnsObjects() const noexcept { return _blOwnsObjects; }
    void SetOwnsObjects(bool value) { _blOwnsObjects = value; }

    /// Orders the entries by CompareStrings (stable: equal texts keep their order).
    virtual void Sort();
    /// Orders the entries with compare, whose indexes refer to the order before the sort; does
    /// nothing on a sorted list, whose order is fixed.
    virtual void CustomSort(TStringListSortCompare compare);
    void Exchange(int index1, int index2);

    /// Reads the whole file as lines (see LoadFromStream); raises EFOpenError when it cannot, or
    /// when it holds more than maxSize bytes.
    void LoadFromFile(const UnicodeString& fileName, std::int64_t maxSize = INT64_MAX);
    /// A byte-order mark selects UTF-8 or UTF-16; without one, valid UTF-8 is read as UTF-8 and
    /// anything else as Windows-1252. Lines end at CR LF, LF or CR.
    void LoadFromStream(TStream& stream);
    /// Splits text into entries at CR LF, LF or CR.
    void SetText(UnicodeStringView text);
    /// Entries joined, each followed by the platform line break.
    UnicodeString Text() const;

    /// Holds back the change signals: OnChanging fires on entering the outermost update and
    /// OnChange on leaving it; none fire in between.
    void BeginUpdate();
    void EndUpdate();
    int UpdateCount() const noexcept { return _nUpdateCount; }
    TNotifyEvent OnChange;
    TNotifyEvent OnChanging;

    /// Compares two texts as this list does (CaseSensitive decides).
    virtual int CompareStrings(const UnicodeString& a, const UnicodeString& b) const;

protected:
    virtual void PutObject(int index, TObject* obj);
    virtual void InsertItem(int index, const UnicodeString& s, TObject* obj);
    virtual void Changed();
    virtual void Changing();

private:
    struct TItem {
        UnicodeString s;
        TObject* obj;
    };
    void CheckIndex(int index) const;
    void FreeObject(TObject* obj);
    template <class Less> void SortItems(Less less);
    void ClearItems();

    std::vector<TItem> _items;
    bool _blSorted = false;
    bool _blCaseSensitive = false;
    bool _blOwnsObjects = false;
    TDuplicates _duplicates = TDuplicates::dupIgnore;
    int _nUpdateCount = 0;
};

} // namespace rtl
