// List and Map: order, duplicates, capacity, index errors and equality.
#include "core/Containers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

using kx::Str;

namespace {

template <class Fn>
std::wstring MessageOf(Fn fn) {
    try {
        fn();
    } catch (const kx::Exception &e) {
        return e.GetMessage();
    }
    return L"<no exception>";
}

template <class Container>
std::wstring Keys(const Container &c) {
    std::wstring all;
    for (int i = 0; i < c.GetCount(); ++i) {
        const Str &key = c.GetAt(i);
        all += key.IsNull() ? L"<null>" : std::wstring(key.GetBuffer(), key.GetLength());
        all += L";";
    }
    return all;
}

// Counts the nodes handed to the removal hook.
class CountingList : public List<int> {
public:
    int removed = 0;

protected:
    void _OnRemove(Assoc *) override { ++removed; }
};

} // namespace

TEST(ListCapacity, GrowsToTheTargetOfEachCount) {
    const int expected[] = {0, 1, 2, 3, 5, 5, 7, 7, 10, 10, 10, 14};
    List<int> list;
    for (int count = 1; count < 12; ++count) {
        list.Add(count);
        EXPECT_EQ(expected[count], list.GetCapacity()) << "count " << count;
    }
}

TEST(ListCapacity, ShrinksAfterRemovals) {
    struct Case {
        int start, keep, minCapacity, capacity;
    } cases[] = {
        {10, 1, 0, 1}, {10, 0, 0, 0}, {10, 4, 0, 5}, {10, 9, 0, 10}, {10, 2, 8, 8}, {100, 6, 0, 7},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.start * 1000 + c.keep);
        List<int> list(false, false, false, c.minCapacity);
        for (int i = 0; i < c.start; ++i)
            list.Add(i);
        while (list.GetCount() > c.keep)
            list.RemoveAt(0);
        EXPECT_EQ(c.capacity, list.GetCapacity());
        for (int i = 0; i < c.keep; ++i)
            EXPECT_EQ(c.start - c.keep + i, list.GetAt(i));
    }
}

TEST(ListCapacity, OwnGrowthAndMinimumAreTaken) {
    List<int> fast(false, false, false, 4, 2.0);
    fast.Add(1);
    EXPECT_EQ(4, fast.GetCapacity());
    for (int i = 0; i < 4; ++i)
        fast.Add(i);
    EXPECT_EQ(10, fast.GetCapacity());
    List<int> ignored(false, false, false, -3, 0.5);
    for (int i = 0; i < 4; ++i)
        ignored.Add(i);
    EXPECT_EQ(5, ignored.GetCapacity());
}

TEST(ListErrors, IndexMessages) {
    List<Str> list;
    list.Add(L"a");
    List<Str> sorted(true);
    Map<Str, Str> map;
    map.Add(L"k", L"v");
    const Map<Str, Str> &constMap = map;
    struct Case {
        std::wstring message;
        std::wstring expected;
    } cases[] = {
        {MessageOf([&] { list.GetAt(1); }), L"List::GetAt(int index), ERROR for out of Capacity."},
        {MessageOf([&] { list.GetAt(-1); }), L"List::GetAt(int index), ERROR for out of Capacity."},
        {MessageOf([&] { list.Insert(2, L"x"); }),
         L"List::_Ins(int index, Assoc *mBufNew), ERROR for out of Capacity."},
        {MessageOf([&] { list.Insert(-1, L"x"); }),
         L"List::_Ins(int index, Assoc *mBufNew), ERROR for out of Capacity."},
        {MessageOf([&] { sorted.Insert(0, L"x"); }),
         L"List::Insert(int index, const _KTy &key), ERROR for insert while is Sorted."},
        {MessageOf([&] { map.GetKey(1); }), L"Map::GetKey(int index), ERROR for out of Capacity."},
        {MessageOf([&] { map.GetValue(1); }), L"Map::GetValue(int index), ERROR for out of Capacity."},
        {MessageOf([&] { constMap.GetValue(-1); }), L"Map::GetValue(int index), ERROR for out of Capacity."},
        {MessageOf([&] { map.SetValue(1, L"x"); }),
         L"Map::SetValue(int index, const _Ty &val), ERROR for out of Capacity."},
        {MessageOf([&] { map.Get(L"missing"); }), L"Map::Get(const _KTy &key), ERROR for out of Capacity."},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.expected, c.message);
    EXPECT_EQ(1, list.GetCount());
    EXPECT_EQ(0, sorted.GetCount());
    EXPECT_THROW(list.GetAt(5), kx::ArgumentException);
}

TEST(ListEdit, InsertRemoveAndHook) {
    List<Str> list;
    list.Add(L"b");
    list.Insert(0, L"a");
    list.Insert(2, L"d");
    list.Insert(2, L"c");
    EXPECT_EQ(L"a;b;c;d;", Keys(list));
    list.RemoveAt(4);
    list.RemoveAt(-1);
    list.Remove(L"x");
    EXPECT_EQ(4, list.GetCount());
    list.Remove(L"b");
    EXPECT_EQ(L"a;c;d;", Keys(list));

    CountingList counted;
    for (int i = 0; i < 5; ++i)
        counted.Add(i);
    counted.RemoveAt(1);
    counted.RemoveAt(9);
    EXPECT_EQ(1, counted.removed);
    counted.Clear();
    EXPECT_EQ(5, counted.removed);
    EXPECT_EQ(0, counted.GetCount());
    EXPECT_EQ(0, counted.GetCapacity());
    counted.Add(7);
    EXPECT_EQ(7, counted.GetAt(0));
}

TEST(ListOrder, SortedUniqueMapReplacesValues) {
    Map<Str, Str> map(true, false, true);
    EXPECT_EQ(0, map.Add(L"b", L"2"));
    EXPECT_EQ(0, map.Add(L"a", L"1"));
    EXPECT_EQ(2, map.Add(L"c", L"3"));
    EXPECT_EQ(0, map.Add(L"a", L"one"));
    EXPECT_EQ(L"a;b;c;", Keys(map));
    EXPECT_EQ(3, map.GetCount());
    EXPECT_TRUE(map.GetValue(0).Equals(L"one"));
    EXPECT_TRUE(map.Get(L"c").Equals(L"3"));
    map.Get(L"b") = L"two";
    EXPECT_TRUE(map.GetValue(1).Equals(L"two"));

    List<Str> unique(false, false, true);
    unique.Add(L"x");
    EXPECT_EQ(0, unique.Add(L"x"));
    EXPECT_EQ(1, unique.GetCount());
}

TEST(ListOrder, EqualKeysKeepInsertionOrderAndLowestIndexIsFound) {
    for (bool descending : {false, true}) {
        SCOPED_TRACE(descending);
        Map<Str, int> map(true, descending);
        map.SetIgnoreCase(true);
        const wchar_t *keys[] = {L"m", L"K", L"k", L"z", L"a", L"K", L"b", L"k"};
        for (int i = 0; i < 8; ++i)
            map.Add(keys[i], i);
        std::vector<int> kIds;
        for (int i = 0; i < map.GetCount(); ++i)
            if (map.GetKey(i).Equals(L"k", true))
                kIds.push_back(map.GetValue(i));
        EXPECT_EQ((std::vector<int>{1, 2, 5, 7}), kIds);
        int first = map.IndexOf(L"K");
        ASSERT_GE(first, 0);
        EXPECT_EQ(1, map.GetValue(first));
        EXPECT_EQ(descending ? L"z;m;K;k;K;k;b;a;" : L"a;b;K;k;K;k;m;z;", Keys(map));
    }
}

TEST(ListOrder, SortedSearchAgreesWithAReference) {
    std::mt19937 random(20261211);
    for (int round = 0; round < 40; ++round) {
        bool unique = round % 2 == 1;
        bool descending = round % 4 >= 2;
        List<int> list(true, descending, unique);
        std::vector<int> reference;
        int size = 1 + round * 3;
        for (int i = 0; i < size; ++i) {
            int key = static_cast<int>(random() % 25);
            list.Add(key);
            if (!unique || std::find(reference.begin(), reference.end(), key) == reference.end())
                reference.push_back(key);
        }
        std::sort(reference.begin(), reference.end());
        if (descending)
            std::reverse(reference.begin(), reference.end());
        ASSERT_EQ(static_cast<int>(reference.size()), list.GetCount());
        for (int i = 0; i < list.GetCount(); ++i)
            ASSERT_EQ(reference[i], list.GetAt(i)) << "round " << round;
        for (int key = -1; key <= 25; ++key) {
            auto at = std::find(reference.begin(), reference.end(), key);
            int expected = at == reference.end() ? -1 : static_cast<int>(at - reference.begin());
            ASSERT_EQ(expected, list.IndexOf(key)) << "round " << round << " key " << key;
            ASSERT_EQ(expected >= 0, list.ContainsKey(key));
        }
    }
}

TEST(ListOrder, StringKeysOrderByUnitsAndCaseAsAsked) {
    List<Str> list(true);
    for (const wchar_t *key : {L"b", L"", L"B", L"_", L"a"})
        list.Add(key);
    EXPECT_EQ(L";B;_;a;b;", Keys(list));
    EXPECT_EQ(0, list.IndexOf(L""));
    EXPECT_EQ(2, list.IndexOf(L"_"));
    EXPECT_EQ(-1, list.IndexOf(L"c"));
    EXPECT_EQ(-1, list.IndexOf(Str()));

    List<Str> folded(true);
    folded.SetIgnoreCase(true);
    for (const wchar_t *key : {L"b", L"B", L"_", L"a"})
        folded.Add(key);
    EXPECT_EQ(L"_;a;b;B;", Keys(folded));
    EXPECT_EQ(2, folded.IndexOf(L"B"));
}

TEST(MapEquality, SamePairsInTheSameOrder) {
    auto make = [](std::initializer_list<std::pair<const wchar_t *, const wchar_t *>> pairs) {
        Map<Str, Str> map;
        for (const auto &p : pairs)
            map.Add(p.first, p.second);
        return map;
    };
    Map<Str, Str> base = make({{L"a", L"1"}, {L"b", L"2"}});
    struct Case {
        Map<Str, Str> other;
        bool equal;
    } cases[] = {
        {make({{L"a", L"1"}, {L"b", L"2"}}), true},
        {make({{L"b", L"2"}, {L"a", L"1"}}), false},
        {make({{L"a", L"1"}, {L"b", L"3"}}), false},
        {make({{L"a", L"1"}}), false},
        {make({{L"A", L"1"}, {L"b", L"2"}}), false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.equal, base.Equals(c.other)) << Keys(c.other);
    EXPECT_TRUE(base.Equals(base));

    Map<Str, Str> folded = make({{L"A", L"X"}, {L"b", L"2"}});
    Map<Str, Str> lower = make({{L"a", L"x"}, {L"b", L"2"}});
    folded.SetIgnoreCase(true);
    EXPECT_TRUE(folded.Equals(lower));

    Map<int, int> numbers, others;
    numbers.Add(1, 10);
    others.Add(1, 11);
    EXPECT_FALSE(numbers.Equals(others));
    others.SetValue(0, 10);
    EXPECT_TRUE(numbers.Equals(others));
    Map<int, int> emptyA, emptyB;
    EXPECT_TRUE(emptyA.Equals(emptyB));
}

TEST(MapCopy, CopiesAreDeepAndKeepTheirSettings) {
    Map<Str, Str> map(true, true, true);
    map.SetIgnoreCase(true);
    map.Add(L"a", L"1");
    map.Add(L"b", L"2");
    Map<Str, Str> copy(map);
    EXPECT_TRUE(copy.Equals(map));
    copy.Add(L"A", L"changed");
    EXPECT_TRUE(copy.Get(L"a").Equals(L"changed"));
    EXPECT_TRUE(map.Get(L"a").Equals(L"1"));
    EXPECT_EQ(2, copy.GetCount());

    Map<Str, Str> assigned;
    assigned.Add(L"old", L"x");
    assigned = map;
    EXPECT_TRUE(assigned.Equals(map));
    EXPECT_TRUE(assigned.IsSorted() && assigned.IsDescending() && assigned.IsUnique() && assigned.IsIgnoreCase());

    Map<Str, Str> moved(std::move(copy));
    EXPECT_EQ(2, moved.GetCount());
    EXPECT_EQ(0, copy.GetCount());

    List<Str> files;
    files.Add(L"x.ico");
    List<Str> filesCopy = files;
    files.Clear();
    EXPECT_EQ(L"x.ico;", Keys(filesCopy));
}

TEST(MapHandles, PointerKeysAndDefaultValues) {
    int a = 0, b = 0;
    Map<void *, int> map(true, false, true);
    map.Add(&b, 2);
    map.Add(&a, 1);
    map.Add(&b);
    EXPECT_EQ(2, map.GetCount());
    EXPECT_EQ(2, map.Get(&b));
    Map<int, Str> named;
    named.Add(5);
    EXPECT_TRUE(named.GetValue(0).IsNull());
    EXPECT_EQ(std::wstring(L"kx::Map"), std::wstring(named.GetTypeName().GetBuffer()));
}
