// The library's two collections: List, a growable array of keys that can keep
// them ordered and unique, and Map, which carries a value beside each key.
// Each element lives in its own node; the containers move node pointers only.
#pragma once

#include "core/Str.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <type_traits>
#include <utility>

namespace kx {

// Order and equality of keys and values. Plain values (numbers, pointers,
// handles) compare numerically; strings by CompareTo with the container's case rule.
template <class T, class = void>
struct HasEqualOperator : std::false_type {};
template <class T>
struct HasEqualOperator<T, decltype(void(std::declval<const T &>() == std::declval<const T &>()))>
    : std::true_type {};

template <class T>
struct ContainerTraits {
    static int Compare(const T &a, const T &b, bool) {
        std::less<T> less;
        return less(a, b) ? -1 : (less(b, a) ? 1 : 0);
    }
    static bool Equal(const T &a, const T &b, bool) { return EqualOf(a, b, HasEqualOperator<T>()); }

private:
    static bool EqualOf(const T &a, const T &b, std::true_type) { return a == b; }
    // A value type without equality: only the very same value is equal.
    static bool EqualOf(const T &a, const T &b, std::false_type) { return &a == &b; }
};

template <>
struct ContainerTraits<Str> {
    static int Compare(const Str &a, const Str &b, bool ignoreCase) { return a.CompareTo(b, ignoreCase); }
    static bool Equal(const Str &a, const Str &b, bool ignoreCase) { return a.CompareTo(b, ignoreCase) == 0; }
};

template <class _KTy>
class List : public Object {
public:
    struct Assoc {
        explicit Assoc(const _KTy &k) : key(k) {}
        virtual ~Assoc() {}
        _KTy key;
    };

    explicit List(bool isSorted = false, bool isDescending = false, bool isUnique = false,
                  int minCapacity = 0, double growth = 1.3)
        : isSorted(isSorted), isDescending(isDescending), isUnique(isUnique), nodes(nullptr),
          scratch(nullptr), count(0), capacity(0), minCapacity(minCapacity > 0 ? minCapacity : 0),
          growth(growth > 1 ? growth : 1.3), ignoreCase(false) {}

    List(const List &other) : List(other.isSorted, other.isDescending, other.isUnique) {
        CopySettings(other);
        _CopyKeys(other);
    }

    List(List &&other) noexcept : List(other.isSorted, other.isDescending, other.isUnique) {
        CopySettings(other);
        TakeNodes(other);
    }

    List &operator=(const List &other) {
        if (this != &other) {
            Clear();
            isSorted = other.isSorted;
            isDescending = other.isDescending;
            isUnique = other.isUnique;
            CopySettings(other);
            _CopyKeys(other);
        }
        return *this;
    }

    ~List() override { Clear(); }

    int GetCount() const { return count; }
    int GetCapacity() const { return capacity; }
    bool IsSorted() const { return isSorted; }
    bool IsDescending() const { return isDescending; }
    bool IsUnique() const { return isUnique; }
    bool IsIgnoreCase() const { return ignoreCase; }
    // Set before the first element goes in: a sorted container keeps the order it was built with.
    void SetIgnoreCase(bool value) { ignoreCase = value; }

    const _KTy &GetAt(int index) const {
        if (index < 0 || index >= count)
            throw ArgumentException(L"List::GetAt(int index), ERROR for out of Capacity.");
        return _GetAssoc(index)->key;
    }

    int IndexOf(const _KTy &key) const {
        if (isSorted && count > 3)
            return SearchSorted(key);
        for (int i = 0; i < count; ++i)
            if (ContainerTraits<_KTy>::Equal(_GetAssoc(i)->key, key, ignoreCase))
                return i;
        return -1;
    }

    bool ContainsKey(const _KTy &key) const { return IndexOf(key) >= 0; }

    // Returns the index of the new element, or of the present one when unique.
    int Add(const _KTy &key) {
        if (isUnique) {
            int present = IndexOf(key);
            if (present >= 0)
                return present;
        }
        return _Ins(count, _NewAssoc(key));
    }

    int Insert(int index, const _KTy &key) {
        if (isSorted)
            throw ArgumentException(L"List::Insert(int index, const _KTy &key), ERROR for insert while is Sorted.");
        return _Ins(index, _NewAssoc(key));
    }

    void RemoveAt(int index) {
        if (index < 0 || index >= count)
            return;
        scratch = _GetAssoc(index);
        _OnRemove(scratch);
        delete scratch;
        scratch = nullptr;
        _MoveAssoc(index, index + 1, count - index - 1);
        _Alloc(count - 1);
    }

    void Remove(const _KTy &key) { RemoveAt(IndexOf(key)); }

    void Clear() {
        for (int i = 0; i < count; ++i) {
            scratch = _GetAssoc(i);
            _OnRemove(scratch);
            delete scratch;
        }
        scratch = nullptr;
        std::free(nodes);
        nodes = nullptr;
        count = 0;
        capacity = 0;
    }

    Str GetTypeName() const override { return Str(L"kx::List"); }

protected:
    struct SettingsOnly {};
    // For derived copies, which fill in nodes of their own type.
    List(const List &other, SettingsOnly) : List(other.isSorted, other.isDescending, other.isUnique) {
        CopySettings(other);
    }

    virtual Assoc *_NewAssoc(const _KTy &key) {
        Assoc *node = new (std::nothrow) Assoc(key);
        if (!node)
            throw OutOfMemoryException(L"List::_NewAssoc(const _KTy &key), ERROR for new Assoc[1].");
        return node;
    }
    virtual int _AssocSize() const { return static_cast<int>(sizeof(Assoc *)); }
    virtual Assoc *_GetAssoc(int index) const { return nodes[index]; }
    virtual void _SetAssoc(int index, Assoc *node) { nodes[index] = node; }
    virtual void _MoveAssoc(int destination, int source, int n) {
        if (n > 0)
            std::memmove(nodes + destination, nodes + source, static_cast<size_t>(n) * _AssocSize());
    }
    virtual bool _AssocEquals(const Assoc *a, const Assoc *b) const {
        return ContainerTraits<_KTy>::Equal(a->key, b->key, ignoreCase);
    }
    virtual void _OnRemove(Assoc *) {}

public:
    using Object::Equals;
    virtual bool Equals(const List &other) const {
        if (nodes == other.nodes)
            return true;
        if (count != other.count)
            return false;
        for (int i = 0; i < count; ++i)
            if (!_AssocEquals(_GetAssoc(i), other._GetAssoc(i)))
                return false;
        return true;
    }

protected:
    // Sets the count and sizes the pointer array to it: grows by the growth
    // factor when full, shrinks as soon as the capacity exceeds that target.
    void _Alloc(int len) {
        int newCount = len > 0 ? len : 0;
        int target = TargetCapacity(newCount);
        if (newCount > capacity || capacity > target) {
            size_t slots = static_cast<size_t>(target) + 1;
            void *grown = std::realloc(nodes, slots * _AssocSize());
            if (grown) {
                nodes = static_cast<Assoc **>(grown);
                capacity = target;
            } else if (newCount > capacity) {
                throw OutOfMemoryException(L"List::_Alloc(int len), ERROR for realloc memory.");
            }
        }
        count = newCount;
    }

    int _Ins(int index, Assoc *node) {
        if (index < 0 || index > count) {
            delete node;
            throw ArgumentException(L"List::_Ins(int index, Assoc *mBufNew), ERROR for out of Capacity.");
        }
        if (isSorted)
            index = InsertPosition(node->key);
        int oldCount = count;
        scratch = node;
        try {
            _Alloc(count + 1);
        } catch (...) {
            scratch = nullptr;
            delete node;
            throw;
        }
        scratch = nullptr;
        _MoveAssoc(index + 1, index, oldCount - index);
        _SetAssoc(index, node);
        return index;
    }

    // Appends copies of the other's keys, already in their order.
    void _CopyKeys(const List &other) {
        for (int i = 0; i < other.count; ++i) {
            Assoc *node = _NewAssoc(other._GetAssoc(i)->key);
            int at = count;
            try {
                _Alloc(count + 1);
            } catch (...) {
                delete node;
                throw;
            }
            _SetAssoc(at, node);
        }
    }

    bool isSorted;
    bool isDescending;
    bool isUnique;
    Assoc **nodes;
    Assoc *scratch;
    int count;
    int capacity;
    int minCapacity;
    double growth;
    bool ignoreCase;

private:
    void CopySettings(const List &other) {
        minCapacity = other.minCapacity;
        growth = other.growth;
        ignoreCase = other.ignoreCase;
    }

    void TakeNodes(List &other) {
        nodes = other.nodes;
        count = other.count;
        capacity = other.capacity;
        other.nodes = nullptr;
        other.count = 0;
        other.capacity = 0;
    }

    int TargetCapacity(int n) const {
        double scaled = n * growth;
        int target = scaled >= INT_MAX - 1 ? INT_MAX - 1 : static_cast<int>(scaled);
        return target < minCapacity ? minCapacity : target;
    }

    // Comparison in the container's direction.
    int Order(const _KTy &a, const _KTy &b) const {
        int c = ContainerTraits<_KTy>::Compare(a, b, ignoreCase);
        return isDescending ? -c : c;
    }

    // After every equal key, so equal keys keep their insertion order.
    int InsertPosition(const _KTy &key) const {
        int low = 0, high = count;
        while (low < high) {
            int mid = low + (high - low) / 2;
            if (Order(_GetAssoc(mid)->key, key) > 0)
                high = mid;
            else
                low = mid + 1;
        }
        return low;
    }

    // The lowest index holding an equal key, or -1.
    int SearchSorted(const _KTy &key) const {
        int low = 0, high = count - 1, found = -1;
        while (low <= high) {
            int mid = low + (high - low) / 2;
            int c = Order(_GetAssoc(mid)->key, key);
            if (c < 0) {
                low = mid + 1;
            } else if (c > 0) {
                high = mid - 1;
            } else {
                found = mid;
                if (isUnique)
                    break;
                high = mid - 1;
            }
        }
        return found;
    }
};

template <class _KTy, class _Ty>
class Map : public List<_KTy> {
    using Base = List<_KTy>;
    using Assoc = typename Base::Assoc;

public:
    struct MapAssoc : Assoc {
        explicit MapAssoc(const _KTy &k) : Assoc(k), value() {}
        _Ty value;
    };

    explicit Map(bool isSorted = false, bool isDescending = false, bool isUnique = false,
                 int minCapacity = 0, double growth = 1.3)
        : Base(isSorted, isDescending, isUnique, minCapacity, growth) {}

    Map(const Map &other) : Base(other, typename Base::SettingsOnly()) { CopyPairs(other); }
    Map(Map &&other) noexcept : Base(std::move(other)) {}

    Map &operator=(const Map &other) {
        if (this != &other) {
            Base::operator=(other);
            for (int i = 0; i < this->count; ++i)
                Node(i)->value = other.Node(i)->value;
        }
        return *this;
    }

    const _KTy &GetKey(int index) const {
        if (index < 0 || index >= this->count)
            throw ArgumentException(L"Map::GetKey(int index), ERROR for out of Capacity.");
        return Node(index)->key;
    }

    _Ty &GetValue(int index) {
        if (index < 0 || index >= this->count)
            throw ArgumentException(L"Map::GetValue(int index), ERROR for out of Capacity.");
        return Node(index)->value;
    }
    const _Ty &GetValue(int index) const { return const_cast<Map *>(this)->GetValue(index); }

    void SetValue(int index, const _Ty &val) {
        if (index < 0 || index >= this->count)
            throw ArgumentException(L"Map::SetValue(int index, const _Ty &val), ERROR for out of Capacity.");
        Node(index)->value = val;
    }

    _Ty &Get(const _KTy &key) {
        int index = this->IndexOf(key);
        if (index < 0)
            throw ArgumentException(L"Map::Get(const _KTy &key), ERROR for out of Capacity.");
        return Node(index)->value;
    }
    const _Ty &Get(const _KTy &key) const { return const_cast<Map *>(this)->Get(key); }

    using Base::Add;
    int Add(const _KTy &key, const _Ty &value) {
        if (this->isUnique) {
            int present = this->IndexOf(key);
            if (present >= 0) {
                SetValue(present, value);
                return present;
            }
        }
        MapAssoc *node = static_cast<MapAssoc *>(_NewAssoc(key));
        try {
            node->value = value;
        } catch (...) {
            delete node;
            throw;
        }
        return this->_Ins(this->count, node);
    }

    Str GetTypeName() const override { return Str(L"kx::Map"); }

protected:
    Assoc *_NewAssoc(const _KTy &key) override {
        MapAssoc *node = new (std::nothrow) MapAssoc(key);
        if (!node)
            throw OutOfMemoryException(L"Map::_NewAssoc(const _KTy &key), ERROR for new MapAssoc[1].");
        return node;
    }

    bool _AssocEquals(const Assoc *a, const Assoc *b) const override {
        return Base::_AssocEquals(a, b) &&
               ContainerTraits<_Ty>::Equal(static_cast<const MapAssoc *>(a)->value,
                                           static_cast<const MapAssoc *>(b)->value, this->ignoreCase);
    }

private:
    MapAssoc *Node(int index) const { return static_cast<MapAssoc *>(this->_GetAssoc(index)); }

    void CopyPairs(const Map &other) {
        this->_CopyKeys(other);
        for (int i = 0; i < this->count; ++i)
            Node(i)->value = other.Node(i)->value;
    }
};

} // namespace kx

// The containers are used under their short names throughout the tree.
using kx::List;
using kx::Map;
