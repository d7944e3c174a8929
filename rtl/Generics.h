#pragma once
// Generic containers: a list that reports each change through its Notify hook, and a dictionary
// that refuses duplicate keys.
#include "Exceptions.h"
#include "Method.h"
#include "ObjectHooks.h"

#include <algorithm>
#include <concepts>
#include <unordered_map>
#include <vector>

namespace rtl {

/// What happened to an item of a list.
enum class TCollectionNotification { cnAdded, cnRemoved, cnExtracted };

/// (Sender, Item, Action): the shape of a list's change callback.
template <class T> using TCollectionNotifyEvent = TMethod<void(TObject*, const T&, TCollectionNotification)>;

/// Compares two items: 0 when equal, negative when a goes first.
template <class T> using TComparer = int (*)(const T& a, const T& b);

/// The comparer a list gets by default: ordering when T has one, else equality alone.
template <class T> int DefaultCompare(const T& a, const T& b) {
    if constexpr (std::totally_ordered<T>)
        return a < b ? -1 : (b < a ? 1 : 0);
    else
        return a == b ? 0 : 1;
}

/// An ordered list of T. Every addition, removal and extraction calls Notify after the list has
/// changed; the default Notify calls OnNotify. Freed through rtl::Free, it clears itself first so
/// descendants hear of every item leaving.
template <class T> class TList : public TObject {
public:
    /// One pass over the list, from its first item, for loops whose steps may change the list or
    /// free it. Take it while the list is alive; it keeps its place as items are inserted or removed
    /// during the pass (an item added after the current one is reached in the same pass; removing
    /// the current or an earlier item skips nobody), and tells when the list was freed, after which
    /// neither the pass nor its loop may touch the list. Passes nest; each ends with its scope.
    /// Passes over one list are made on one thread at a time (under the owner's lock, where the
    /// list is shared).
    class TPass {
    public:
// The list keeps the address of a pass that lives on the stack; the pass takes it back out when
// its scope ends, which gcc cannot see through the freed-list check.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdangling-pointer"
#endif
        explicit TPass(TList* list) noexcept
            : _pList(list), _pin(list->_passPins.Take(list)), _pOuter(list->_pPasses) {
            list->_pPasses = this;
        }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
        ~TPass() {
            if (_pin.Freed())
                return; // the pin goes back to the block itself: the list and its stock are gone
            _pList->_pPasses = _pOuter; // passes end in the reverse order they began
            _pList->_passPins.GiveBack(_pin);
        }
        TPass(const TPass&) = delete;
        TPass& operator=(const TPass&) = delete;
        /// The list still exists.
        bool Alive() const noexcept { return !_pin.Freed(); }
        /// The list exists and nIndex is one of its items.
        bool AtItem() const noexcept { return Alive() && nIndex >= 0 && nIndex < _pList->Count(); }
        /// The current index; the loop steps it.
        int nIndex = 0;

    private:
        friend class TList;
        TList* _pList;
        TPin<TList> _pin;
        TPass* _pOuter;
    };

    explicit TList(TComparer<T> comparer = &DefaultCompare<T>) : _fnCompare(comparer) {}
    void BeforeDestruction() override { Clear(); }

    int Count() const noexcept { return static_cast<int>(_items.size()); }
    /// EArgumentOutOfRangeException outside 0..Count-1.
    const T& operator[](int index) const { return _items[Check(index)]; }
    const T& Items(int index) const { return (*this)[index]; }
    /// Replaces an item: the old one is reported removed, the new one added.
    void SetItem(int index, const T& value) {
        T old = _items[Check(index)];
        _items[index] = value;
        TPin<TList> self(this);
        Notify(old, TCollectionNotification::cnRemoved);
        if (!self.Freed())
            Notify(value, TCollectionNotification::cnAdded);
    }
    const T& First() const { return (*this)[0]; }
    const T& Last() const { return (*this)[Count() - 1]; }
    typename std::vector<T>::const_iterator begin() const noexcept { return _items.begin(); }
    typename std::vector<T>::const_iterator end() const noexcept { return _items.end(); }

    /// Appends; answers the new index.
    int Add(const T& value) {
        const int index = Count();
        _items.push_back(value);
        _Moved(index, 1);
        Notify(value, TCollectionNotification::cnAdded);
        return index;
    }
    /// Inserts before index (0..Count).
    void Insert(int index, const T& value) {
        if (index < 0 || index > Count())
            RangeError();
        _items.insert(_items.begin() + index, value);
        _Moved(index, 1);
        Notify(value, TCollectionNotification::cnAdded);
    }
    void Delete(int index) { Take(Check(index), TCollectionNotification::cnRemoved); }
    /// Removes the first item equal to value; answers the index it had, -1 when absent.
    int Remove(const T& value) {
        const int i = IndexOf(value);
        if (i >= 0)
            Take(i, TCollectionNotification::cnRemoved);
        return i;
    }
    /// Takes the first item equal to value out without the removal meaning (cnExtracted); answers
    /// it, or T() when absent.
    T Extract(const T& value) {
        const int i = IndexOf(value);
        return i >= 0 ? Take(i, TCollectionNotification::cnExtracted) : T();
    }
    /// Removes every item; each is reported removed, in order. Stops when a handler frees the list.
    virtual void Clear() {
        std::vector<T> old;
        old.swap(_items);
        _Moved(0, -static_cast<int>(old.size()));
        TPin<TList> self(this);
        for (const T& item : old) {
            if (self.Freed())
                return;
            Notify(item, TCollectionNotification::cnRemoved);
        }
    }
    int IndexOf(const T& value) const {
        for (int i = 0; i < Count(); ++i)
            if (_fnCompare(_items[i], value) == 0)
                return i;
        return -1;
    }
    bool Contains(const T& value) const { return IndexOf(value) >= 0; }
    TComparer<T> Comparer() const noexcept { return _fnCompare; }

    TCollectionNotifyEvent<T> OnNotify;

protected:
    ~TList() override = default;
    /// Called after each change with the item and what happened to it.
    virtual void Notify(const T& item, TCollectionNotification action) {
        if (OnNotify)
            OnNotify(this, item, action);
    }
    /// Replaces every item equal to from by to, without Notify: for descendants whose items change
    /// identity while every reference on them moves along. Answers how many were replaced.
    int ReplaceSilently(const T& from, const T& to) {
        int n = 0;
        for (T& item : _items)
            if (_fnCompare(item, from) == 0) {
                item = to;
                ++n;
            }
        return n;
    }
    /// Removes every item equal to value without Notify (see ReplaceSilently); answers how many.
    int RemoveSilently(const T& value) {
        int n = 0;
        for (int i = Count() - 1; i >= 0; --i)
            if (_fnCompare(_items[i], value) == 0) {
                _items.erase(_items.begin() + i);
                _Moved(i, -1);
                ++n;
            }
        return n;
    }

private:
    // Items were inserted at index (delta > 0) or removed from it (delta < 0): the passes under way
    // keep their place.
    void _Moved(int index, int delta) noexcept {
        for (TPass* pass = _pPasses; pass; pass = pass->_pOuter) {
            if (delta > 0) {
                if (index <= pass->nIndex)
                    pass->nIndex += delta; // inserted before the current item: not reached this pass
            } else if (index - delta <= pass->nIndex) {
                pass->nIndex += delta; // removed before the current item
            } else if (index <= pass->nIndex) {
                pass->nIndex = index - 1; // the current item went: the next one moved into its place
            }
        }
    }

    int Check(int index) const {
        if (index < 0 || index >= Count())
            RangeError();
        return index;
    }
    [[noreturn]] static void RangeError() { throw EArgumentOutOfRangeException(u"Argument out of range"); }
    T Take(int index, TCollectionNotification action) {
        T item = _items[index];
        _items.erase(_items.begin() + index);
        _Moved(index, -1);
        Notify(item, action);
        return item;
    }

    std::vector<T> _items;
    TComparer<T> _fnCompare;
    TPass* _pPasses = nullptr; // passes under way, innermost first
    // The passes' pins, so that a pass costs no locked instruction; passes share the list's thread.
    TPinStock _passPins;
};

/// A hash map whose Add refuses a key already present.
template <class K, class V, class Hash = std::hash<K>> class TDictionary {
public:
    /// EDuplicateKey "Duplicates not allowed" when key is present.
    void Add(const K& key, const V& value) {
        if (!_items.emplace(key, value).second)
            throw EDuplicateKey(u"Duplicates not allowed");
    }
    void AddOrSetValue(const K& key, const V& value) { _items[key] = value; }
    void Remove(const K& key) { _items.erase(key); }
    bool ContainsKey(const K& key) const { return _items.find(key) != _items.end(); }
    bool TryGetValue(const K& key, V& value) const {
        const auto it = _items.find(key);
        if (it == _items.end())
            return false;
        value = it->second;
        return true;
    }
    /// EListError "Item not found" when key is absent.
    const V& operator[](const K& key) const {
        const auto it = _items.find(key);
        if (it == _items.end())
            throw EListError(u"Item not found", -1);
        return it->second;
    }
    int Count() const noexcept { return static_cast<int>(_items.size()); }
    void Clear() { _items.clear(); }
    std::vector<K> Keys() const {
        std::vector<K> keys;
        keys.reserve(_items.size());
        for (const auto& [k, v] : _items)
            keys.push_back(k);
        return keys;
    }

private:
    std::unordered_map<K, V, Hash> _items;
};

} // namespace rtl
