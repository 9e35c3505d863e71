#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "core/hash_table.h"
#include "core/stack.h"
#include "core/vector.h"

namespace {

typedef std::vector<int> Ints;
typedef std::vector<std::string> Texts;

// The elements of any collection, front to back, walked through a cursor.
template <typename T>
std::vector<T> Walk(Collection<T>& c) {
    std::vector<T> out;
    Cursor cursor;
    for (T* e = c.GetFirst(cursor); e; e = c.GetNext(cursor)) out.push_back(*e);
    return out;
}

template <typename C>
Texts TextsOf(C& c) {
    Texts out;
    for (const auto& e : Walk(c)) out.push_back(e.Text());
    return out;
}

template <typename C>
void Fill(C& c, int32 n) {
    for (int32 i = 1; i <= n; ++i) c.Append(i);
}

// List and Vector must agree wherever the rules are shared.
template <typename C>
class SequenceTest : public ::testing::Test {};
typedef ::testing::Types<List<int>, Vector<int>> Sequences;
TYPED_TEST_SUITE(SequenceTest, Sequences);

TYPED_TEST(SequenceTest, AddsRemovesAndPopsAtBothEnds) {
    TypeParam c, other;
    c.Append(2);
    c.Prepend(1);
    c.Append(nullptr);  // a default value
    Fill(other, 2);
    c.AppendAll(other);
    c.PrependAll(other);
    EXPECT_EQ(Walk(c), (Ints{1, 2, 1, 2, 0, 1, 2}));
    c.AppendAll(c);  // itself, once
    EXPECT_EQ(c.Count(), 14);
    EXPECT_EQ(c.RemoveFront(9), 9);
    EXPECT_EQ(c.PopFront(), 1);
    EXPECT_EQ(c.PopBack(), 2);
    EXPECT_EQ(c.RemoveBack(9), 3);
    EXPECT_EQ(c.PopBack(), 0);
    EXPECT_EQ(c.Front(), nullptr);
}

TYPED_TEST(SequenceTest, Rotates) {
    struct Case { bool left; int32 n; bool ok; Ints expected; } cases[] = {
        {true, 1, true, {2, 3, 4, 1}},  {true, 6, true, {3, 4, 1, 2}},  {true, 4, true, {1, 2, 3, 4}},
        {true, 0, false, {1, 2, 3, 4}}, {false, 1, true, {4, 1, 2, 3}}, {false, 7, true, {2, 3, 4, 1}},
    };
    for (const auto& c : cases) {
        TypeParam seq;
        Fill(seq, 4);
        EXPECT_EQ(c.left ? seq.RotateLeft(c.n) : seq.RotateRight(c.n), c.ok);
        EXPECT_EQ(Walk(seq), c.expected) << (c.left ? "left " : "right ") << c.n;
    }
    TypeParam one;
    one.Append(1);
    EXPECT_FALSE(one.RotateLeft(1));
}

TYPED_TEST(SequenceTest, CursorSurvivesRemovingItsElement) {
    TypeParam c;
    Fill(c, 5);
    Cursor cursor;
    for (int* e = c.GetFirst(cursor); e; e = c.GetNext(cursor)) {
        if (*e % 2 == 0) {
            EXPECT_TRUE(c.RemoveCurrent(cursor));
        }
    }
    EXPECT_EQ(Walk(c), (Ints{1, 3, 5}));
    EXPECT_FALSE(c.RemoveCurrent(cursor));  // walked off the end: no current
    ASSERT_NE(c.GetPrevious(cursor), nullptr);
    EXPECT_EQ(*c.PeekPrevious(cursor), 3);
    EXPECT_EQ(c.TakeCurrent(cursor), 5);
    EXPECT_EQ(c.Current(cursor), nullptr);
    EXPECT_TRUE(c.ResetToBack(cursor));
    EXPECT_EQ(*c.GetPrevious(cursor), 3);
}

TEST(StackDeathTest, ListTruncatesTheBackStackTheBottomAndEmptyPopIsFatal) {
    List<int> list;
    Fill(list, 5);
    list.Truncate(2);
    EXPECT_EQ(Walk(list), (Ints{1, 2}));
    EXPECT_TRUE(list.RotateLeft(-1));  // a list turns the other way; a vector refuses
    EXPECT_EQ(Walk(list), (Ints{2, 1}));
    Stack<int> stack;
    Fill(stack, 5);
    stack.Truncate(2);
    stack.Push(6);
    EXPECT_EQ(stack.Pop(), 6);
    EXPECT_EQ(stack.Pop(), 5);
    EXPECT_EQ(stack.Pop(), 4);
    EXPECT_EXIT(stack.Pop(), ::testing::ExitedWithCode(1), "Stack<int>::pop");
    Stack<String> texts;
    EXPECT_EXIT(texts.Pop(), ::testing::ExitedWithCode(1), "Stack<String>::pop");
    Stack<char*> pointers;
    EXPECT_EXIT(pointers.Pop(), ::testing::ExitedWithCode(1), "Stack<pointer>::pop");
}

TEST(VectorDeathTest, IndexOutOfRangeIsFatalWithTheLastIndex) {
    Vector<String> v;
    for (const char* s : {"a", "b", "c"}) v.Append(s);
    EXPECT_STREQ(v[2].Text(), "c");
    EXPECT_EXIT(v.At(3), ::testing::ExitedWithCode(1), "Vector<String>\\[3\\]\nmax_index = 2");
    EXPECT_EXIT(v[-1], ::testing::ExitedWithCode(1), "Vector<String>\\[-1\\]");
    Vector<int> ints;
    Fill(ints, 2);
    EXPECT_FALSE(ints.RotateLeft(-1));
}

TEST(Vector, RemoveRangeClampsAndDestroys) {
    struct Case { int32 first, last; bool ok; Texts expected; } cases[] = {
        {5, 2, false, {"a", "b", "c", "d"}}, {-3, 1, true, {"c", "d"}}, {1, 2, true, {"a", "d"}},
        {2, 99, true, {"a", "b"}},
    };
    for (const auto& c : cases) {
        Vector<String> v;
        for (const char* s : {"a", "b", "c", "d"}) v.Append(s);
        EXPECT_EQ(v.RemoveRange(c.first, c.last), c.ok) << c.first << ".." << c.last;
        EXPECT_EQ(TextsOf(v), c.expected) << c.first << ".." << c.last;
    }
}

TEST(Vector, GrowsByPartsNotPerInsertion) {
    Vector<int> v;
    int32 reallocations = 0, capacity = v.Capacity();
    for (int i = 0; i < 2000; ++i) {
        if (i < 1000) v.InsertAt(0, i);  // the front uses the slack too
        else v.Append(i);
        reallocations += v.Capacity() != capacity;
        capacity = v.Capacity();
    }
    EXPECT_LT(reallocations, 40);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(v[i], 999 - i);
}

TEST(Vector, MatchesAReferenceUnderRandomEdits) {
    std::mt19937 random(20240607);
    Vector<String> v;
    Texts model;
    for (int step = 0; step < 4000; ++step) {
        int32 n = int32(model.size());
        int32 i = int32(random() % (n + 3)) - 1;  // sometimes out of range
        std::string text = std::to_string(step);
        switch (random() % 5) {
            case 0:
            case 1:
                v.InsertAt(i, String(text.c_str()));
                model.insert(model.begin() + std::max(0, std::min(i, n)), text);
                break;
            case 2:
                v.Append(String(text.c_str()));
                model.push_back(text);
                break;
            case 3:
                if (v.RemoveAt(i)) model.erase(model.begin() + i);
                break;
            case 4:
                if (v.Swap(i, n - 1 - i)) std::swap(model[i], model[n - 1 - i]);
                break;
        }
        ASSERT_EQ(v.Count(), int32(model.size())) << "step " << step;
    }
    EXPECT_EQ(TextsOf(v), model);
}

TEST(Vector, MovesSortsAndCopiesDeeply) {
    Vector<int> v;
    v.SetCount(3);
    v[0] = 1, v[1] = 2, v[2] = 3;
    *v.AppendNew() = 4;
    EXPECT_TRUE(v.MoveUp(0, 2));
    EXPECT_TRUE(v.MoveDown(1, 9));  // clamped to the last
    EXPECT_EQ(Walk(v), (Ints{2, 4, 3, 1}));
    EXPECT_EQ(v.TakeAt(1), 4);
    EXPECT_EQ(v.TakeAt(7), 0);

    Vector<String> texts;
    for (const char* s : {"ccc", "a", "dddd", "bb"}) texts.Append(s);
    texts.Sort([](const String& a, const String& b) { return int(b.Length() - a.Length()); });
    EXPECT_EQ(TextsOf(texts), (Texts{"dddd", "ccc", "bb", "a"}));
    Vector<String> copy(texts);
    List<String> listCopy;
    listCopy.AppendAll(texts);
    List<String> listCopy2(listCopy);
    texts[0].Append("!");
    listCopy.Front()->Append("?");
    EXPECT_STREQ(copy[0].Text(), "dddd");
    EXPECT_STREQ(listCopy2.Front()->Text(), "dddd");
}

TEST(SortArray, SortsLikeTheReferenceAndStaysInsideWithABrokenComparison) {
    auto ascending = [](const void* a, const void* b) {
        int x = *static_cast<const int*>(a), y = *static_cast<const int*>(b);
        return x < y ? -1 : (x > y ? 1 : 0);
    };
    for (unsigned seed = 1; seed <= 40; ++seed) {
        std::mt19937 random(seed);
        std::vector<int> data(random() % 300);
        for (int& x : data) x = int(random() % (seed % 3 == 0 ? 3 : 1000));  // sometimes many equal
        std::vector<int> expected = data;
        std::sort(expected.begin(), expected.end());
        SortArray(data.data(), int32(data.size()), sizeof(int), ascending);
        EXPECT_EQ(data, expected) << "seed " << seed;
    }
    // Canaries on both sides: any order may come out, but nothing is
    // written outside, lost or duplicated.
    std::vector<int> block(202, -7);
    for (int i = 1; i <= 200; ++i) block[i] = i % 17;
    std::vector<int> expected(block.begin() + 1, block.end() - 1);
    std::sort(expected.begin(), expected.end());
    static std::mt19937 random(99);
    SortArray(block.data() + 1, 200, sizeof(int), [](const void*, const void*) { return int(random() % 3) - 1; });
    SortArray(block.data() + 1, 200, sizeof(int), [](const void*, const void*) { return -1; });
    EXPECT_EQ(block.front(), -7);
    EXPECT_EQ(block.back(), -7);
    std::vector<int> inside(block.begin() + 1, block.end() - 1);
    std::sort(inside.begin(), inside.end());
    EXPECT_EQ(inside, expected);
    SortArray(nullptr, 2, sizeof(int), ascending);
    SortArray(block.data(), 2, sizeof(int), nullptr);
}

Texts Keys(HashTable& table) {
    Texts out;
    for (const HashEntry& e : Walk(table)) out.push_back(e.key.Text());
    return out;
}

TEST(HashTable, KeepsInsertionOrderThroughSetsAndRemovals) {
    HashTable table(5), other(5);
    for (const char* k : {"b", "a", "c", "d", "e"}) EXPECT_TRUE(table.Set(k, false));
    EXPECT_FALSE(table.Set("a", true));  // updated, not added
    ASSERT_NE(table.Find("a"), nullptr);
    EXPECT_TRUE(table.Find("a")->value);
    EXPECT_EQ(table.Find("A"), nullptr);  // keys compare exactly
    other.Set("x", true);
    EXPECT_TRUE(table.Remove(table.Find("c")));
    EXPECT_FALSE(table.Remove(nullptr));
    EXPECT_FALSE(table.Remove(other.Find("x")));  // not ours
    EXPECT_EQ(Keys(table), (Texts{"b", "a", "d", "e"}));
    table.Truncate(2);  // keeps the newest
    EXPECT_EQ(Keys(table), (Texts{"d", "e"}));
    EXPECT_STREQ(table.PopFront().key.Text(), "d");
    Cursor cursor;
    table.GetFirst(cursor);
    EXPECT_TRUE(table.RemoveCurrent(cursor));
    EXPECT_EQ(table.Count(), 0);
    EXPECT_TRUE(table.Set("d", true));  // the bucket lists are clean again

    HashTable crowded(3);  // long bucket lists
    for (int i = 0; i < 200; ++i) crowded.Set(std::to_string(i).c_str(), i % 2 == 0);
    for (int i = 0; i < 200; i += 37) {
        HashEntry* e = crowded.Find(std::to_string(i).c_str());
        ASSERT_NE(e, nullptr) << i;
        EXPECT_EQ(e->value, i % 2 == 0);
    }
    HashTable none;
    EXPECT_FALSE(none.Set("a", true));
}

TEST(HashTableDeathTest, PositionalOperationsAreFatal) {
    HashTable table(3);
    HashEntry entry("k", true);
    EXPECT_EXIT(table.Append(&entry), ::testing::ExitedWithCode(1), "core32 4856");
    EXPECT_EXIT(table.Append(entry), ::testing::ExitedWithCode(1), "core32 4857");
    EXPECT_EXIT(table.AppendAll(table), ::testing::ExitedWithCode(1), "core32 4858");
    EXPECT_EXIT(table.Prepend(&entry), ::testing::ExitedWithCode(1), "core32 4859");
    EXPECT_EXIT(table.Prepend(entry), ::testing::ExitedWithCode(1), "core32 4860");
    EXPECT_EXIT(table.PrependAll(table), ::testing::ExitedWithCode(1), "core32 4861");
    EXPECT_EXIT(table.RotateLeft(1), ::testing::ExitedWithCode(1), "core32 4862");
    EXPECT_EXIT(table.RotateRight(1), ::testing::ExitedWithCode(1), "core32 4863");
}

}  // namespace
