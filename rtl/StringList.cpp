#include "rtl/StringList.h"

#include "rtl/Exceptions.h"
#include "rtl/Files.h"
#include "rtl/Stream.h"

#include <algorithm>
#include <numeric>

namespace rtl {

namespace {

[[noreturn]] void RaiseSortedListError(int index) {
    throw EListError(u"Operation not allowed on sorted list", index);
}

#ifdef _WIN32
constexpr char16_t kLineBreak[] = u"\r\n";
#else
constexpr char16_t kLineBreak[] = u"\n";
#endif

} // namespace

TStringList::~TStringList() {
    // Nobody may hear of a list that is being destroyed.
    OnChange = {};
    OnChanging = {};
    ClearItems();
}

const UnicodeString& TStringList::Strings(int index) const {
    CheckIndex(index);
    return _items[static_cast<std::size_t>(index)].s;
}

void TStringList::SetStrings(int index, const UnicodeString& s) {
    if (_blSorted)
        RaiseSortedListError(index);
    CheckIndex(index);
    Changing();
    _items[static_cast<std::size_t>(index)].s = s;
    Changed();
}

TObject* TStringList::Objects(int index) const {
    CheckIndex(index);
    return _items[static_cast<std::size_t>(index)].obj;
}

int TStringList::AddObject(const UnicodeString& s, TObject* obj) {
    int index = Count();
    if (_blSorted) {
        if (Find(s, index)) {
            switch (_duplicates) {
            case TDuplicates::dupIgnore:
                return index;
            case TDuplicates::dupError:
                throw EListError(u"String list does not allow duplicates", index);
            case TDuplicates::dupAccept:
                // After the equal run, so equal texts keep the order they were added in.
                while (index < Count() && CompareStrings(_items[static_cast<std::size_t>(index)].s, s) == 0)
                    ++index;
                break;
            }
        }
    }
    InsertItem(index, s, obj);
    return index;
}

void TStringList::InsertObject(int index, const UnicodeString& s, TObject* obj) {
    if (_blSorted)
        RaiseSortedListError(index);
    if (index < 0 || index > Count())
        throw EListError(u"List index out of bounds (" + IntToStr(index) + u")", index);
    InsertItem(index, s, obj);
}

void TStringList::InsertItem(int index, const UnicodeString& s, TObject* obj) {
    Changing();
    _items.insert(_items.begin() + index, TItem{s, obj});
    Changed();
}

void TStringList::PutObject(int index, TObject* obj) {
    CheckIndex(index);
    Changing();
    _items[static_cast<std::size_t>(index)].obj = obj;
    Changed();
}

void TStringList::Delete(int index) {
    TObject* obj = Extract(index);
    FreeObject(obj);
}

TObject* TStringList::Extract(int index) {
    CheckIndex(index);
    Changing();
    TObject* obj = _items[static_cast<std::size_t>(index)].obj;
    _items.erase(_items.begin() + index);
    Changed();
    return obj;
}

void TStringList::Clear() {
    if (_items.empty())
        return;
    Changing();
    ClearItems();
    Changed();
}

void TStringList::ClearItems() {
    // Take the entries out first, so an object's destructor never sees a half-cleared list.
    std::vector<TItem> items;
    items.swap(_items);
    for (TItem& item : items)
        FreeObject(item.obj);
}

void TStringList::FreeObject(TObject* obj) {
    if (_blOwnsObjects)
        Free(obj);
}

int TStringList::IndexOf(const UnicodeString& s) const {
    if (_blSorted) {
        int index = -1;
        return Find(s, index) ? index : -1;
    }
    for (int i = 0; i < Count(); ++i)
        if (CompareStrings(_items[static_cast<std::size_t>(i)].s, s) == 0)
            return i;
    return -1;
}

int TStringList::IndexOfObject(const TObject* obj) const {
    for (int i = 0; i < Count(); ++i)
        if (_items[static_cast<std::size_t>(i)].obj == obj)
            return i;
    return -1;
}

bool TStringList::Find(const UnicodeString& s, int& index) const {
    // Lower bound: the first of several equal entries is the one found.
    int lo = 0;
    int hi = Count();
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (CompareStrings(_items[static_cast<std::size_t>(mid)].s, s) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    index = lo;
    return lo < Count() && CompareStrings(_items[static_cast<std::size_t>(lo)].s, s) == 0;
}

void TStringList::SetSorted(bool value) {
    if (value == _blSorted)
        return;
    if (value)
        Sort();
    _blSorted = value;
}

void TStringList::SetCaseSensitive(bool value) {
    if (value == _blCaseSensitive)
        return;
    _blCaseSensitive = value;
    if (_blSorted)
        Sort();
}

int TStringList::CompareStrings(const UnicodeString& a, const UnicodeString& b) const {
    return _blCaseSensitive ? CompareStr(a, b) : CompareText(a, b);
}

template <class Less> void TStringList::SortItems(Less less) {
    if (_items.size() < 2)
        return;
    // Sort a permutation, then move the entries once: comparisons see the entries in their
    // original places, and a merge sort stays in bounds even with an inconsistent compare.
    std::vector<int> order(_items.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), less);
    std::vector<TItem> sorted;
    sorted.reserve(_items.size());
    for (int i : order)
        sorted.push_back(std::move(_items[static_cast<std::size_t>(i)]));
    Changing();
    _items.swap(sorted);
    Changed();
}

void TStringList::Sort() {
    SortItems([this](int a, int b) {
        return CompareStrings(_items[static_cast<std::size_t>(a)].s, _items[static_cast<std::size_t>(b)].s) <
               0;
    });
}

void TStringList::CustomSort(TStringListSortCompare compare) {
    if (_blSorted || compare == nullptr)
        return;
    SortItems([this, compare](int a, int b) { return compare(this, a, b) < 0; });
}

void TStringList::Exchange(int index1, int index2) {
    if (_blSorted)
        RaiseSortedListError(index1);
    CheckIndex(index1);
    CheckIndex(index2);
    Changing();
    std::swap(_items[static_cast<std::size_t>(index1)], _items[static_cast<std::size_t>(index2)]);
    Changed();
}

void TStringList::LoadFromFile(const UnicodeString& fileName, std::int64_t maxSize) {
    const TBytes bytes = ReadAllBytes(fileName, maxSize);
    SetText(DecodeText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())));
}

void TStringList::LoadFromStream(TStream& stream) {
    const TBytes bytes = stream.ReadToEnd();
    SetText(DecodeText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())));
}

void TStringList::SetText(UnicodeStringView text) {
    BeginUpdate();
    try {
        Clear();
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = start;
            while (end < text.size() && text[end] != u'\r' && text[end] != u'\n')
                ++end;
            Add(UnicodeString(text.substr(start, end - start)));
            if (end < text.size() && text[end] == u'\r' && end + 1 < text.size() && text[end + 1] == u'\n')
                ++end; // CR LF is one break
            start = end + 1;
        }
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

UnicodeString TStringList::Text() const {
    UnicodeString out;
    for (const TItem& item : _items) {
        out += item.s;
        out += kLineBreak;
    }
    return out;
}

void TStringList::BeginUpdate() {
    if (_nUpdateCount == 0)
        Changing();
    ++_nUpdateCount;
}

void TStringList::EndUpdate() {
    if (_nUpdateCount == 0)
        return;
    if (--_nUpdateCount == 0)
        Changed();
}

void TStringList::Changing() {
    if (_nUpdateCount == 0 && OnChanging)
        OnChanging(this);
}

void TStringList::Changed() {
    if (_nUpdateCount == 0 && OnChange)
        OnChange(this);
}

void TStringList::CheckIndex(int index) const {
    if (index < 0 || index >= Count())
        throw EListError(u"List index out of bounds (" + IntToStr(index) + u")", index);
}

} // namespace rtl
