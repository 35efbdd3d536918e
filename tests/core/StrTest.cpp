// Strings, the object root and the exceptions, on the real code-page functions.
#include "core/Str.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using kx::CodePage;
using kx::MinCapacity;
using kx::Str;

namespace {

// A readable picture of a string's state for failure messages.
std::wstring Show(const Str &s) {
    if (s.IsNull())
        return L"<null>";
    if (!s.IsUnicode())
        return L"<narrow>";
    return std::wstring(s.GetBuffer(), s.GetLength());
}

std::wstring ShowPieces(const Str *pieces, int count) {
    std::wstring all;
    for (int i = 0; i < count; ++i)
        all += L"[" + Show(pieces[i]) + L"]";
    return all;
}

template <class Fn>
std::wstring MessageOf(Fn fn) {
    try {
        fn();
    } catch (const kx::ArgumentException &e) {
        return e.GetMessage();
    }
    return L"<no exception>";
}

const wchar_t *Null = nullptr;

} // namespace

TEST(StrNull, CompareToOrdersNullBeforeEmpty) {
    Str null;
    Str empty(L"");
    Str a(L"a");
    struct Case {
        const Str *left;
        const Str *right;
        int expected;
    } cases[] = {
        {&null, &null, 0}, {&null, &empty, -1}, {&empty, &null, 1},
        {&empty, &empty, 0}, {&empty, &a, -1}, {&a, &null, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(Show(*c.left) + L" vs " + Show(*c.right));
        EXPECT_EQ(c.expected, c.left->CompareTo(*c.right));
    }
    EXPECT_EQ(-1, null.CompareTo(L""));
    EXPECT_EQ(0, null.CompareTo(Null));
    EXPECT_EQ(1, empty.CompareTo(Null));
}

TEST(StrNull, EqualsTellsNullFromEmpty) {
    Str null, otherNull;
    Str empty(L"");
    EXPECT_FALSE(null.Equals(empty));
    EXPECT_FALSE(empty.Equals(null));
    EXPECT_TRUE(null.Equals(otherNull));
    EXPECT_TRUE(null.Equals(Null));
    EXPECT_FALSE(empty.Equals(Null));
    EXPECT_TRUE(empty.Equals(L""));
}

TEST(StrNull, CopiesAssignmentsAndMoves) {
    Str null;
    Str copy(null);
    EXPECT_FALSE(copy.IsNull());
    EXPECT_EQ(0, copy.GetLength());

    Str holder(L"text");
    holder.Assign(null);
    EXPECT_FALSE(holder.IsNull());
    EXPECT_EQ(0, holder.GetLength());

    Str stillNull;
    stillNull.Assign(null);
    EXPECT_TRUE(stillNull.IsNull());

    Str cleared(L"text");
    cleared.Assign(Null);
    EXPECT_TRUE(cleared.IsNull());

    Str moved(std::move(null));
    EXPECT_TRUE(moved.IsNull());
    Str fromText(Null);
    EXPECT_TRUE(fromText.IsNull());
    Str fromEmpty(L"");
    EXPECT_FALSE(fromEmpty.IsNull());
}

TEST(StrNull, SubstringOfNullStaysNullOutOfRangeIsEmpty) {
    Str null;
    EXPECT_TRUE(Str(null, 0, 3).IsNull());
    Str abc(L"abc");
    struct Case {
        int start, count;
        const wchar_t *expected;
    } cases[] = {
        {0, 3, L"abc"}, {1, 1, L"b"}, {1, 10, L"bc"}, {-1, 2, L""}, {3, 1, L""}, {0, 0, L""}, {2, -1, L""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.start);
        Str piece(abc, c.start, c.count);
        EXPECT_FALSE(piece.IsNull());
        EXPECT_EQ(c.expected, Show(piece));
    }
    EXPECT_EQ(L"bc", Show(abc.Substring(1)));
    EXPECT_EQ(L"b", Show(abc.Substring(1, 2)));
}

TEST(StrSearch, IndexOfAndLastIndexOf) {
    Str text(L"abcabcAB");
    struct Case {
        const wchar_t *what;
        int start, count;
        bool ignoreCase;
        int expected;
    } indexCases[] = {
        {L"bc", 0, 8, false, 1}, {L"bc", 2, 6, false, 4}, {L"bc", 2, 4, false, 4},
        {L"bc", 2, 3, false, -1},
        {L"bc", 2, 2, false, -1}, {L"ab", 6, 2, false, -1}, {L"ab", 6, 2, true, 6},
        {L"", 5, 3, false, 0}, {Null, 0, 8, false, -1}, {L"abcabcABx", 0, 100, false, -1},
        {L"c", 8, 0, false, -1}, {L"AB", 0, 8, false, 6}, {L"a", 0, 1000, false, 0},
    };
    for (const Case &c : indexCases) {
        SCOPED_TRACE(std::wstring(c.what ? c.what : L"<none>") + L" from " + std::to_wstring(c.start));
        EXPECT_EQ(c.expected, text.IndexOf(c.what, c.start, c.count, c.ignoreCase));
    }
    EXPECT_EQ(3, text.IndexOf(L"a", 1));
    EXPECT_EQ(3, text.IndexOf(L"ABC", 1, true));
    EXPECT_EQ(-1, Str().IndexOf(L"a"));

    struct LastCase {
        const wchar_t *what;
        int endLength;
        bool ignoreCase;
        int expected;
    } lastCases[] = {
        {L"abc", 8, false, 3}, {L"abc", 5, false, 0}, {L"ab", 8, true, 6}, {L"ab", 1, false, -1},
        {L"", 4, false, 8}, {L"abcabcABC", 8, false, -1},
    };
    for (const LastCase &c : lastCases) {
        SCOPED_TRACE(std::wstring(c.what) + L" before " + std::to_wstring(c.endLength));
        EXPECT_EQ(c.expected, text.LastIndexOf(c.what, c.endLength, c.ignoreCase));
    }
    EXPECT_EQ(6, text.LastIndexOf(L"AB"));
}

TEST(StrSearch, BadPositionsThrowTheirMessages) {
    Str abc(L"abc");
    const std::wstring startMessage = L"error for startIndex < 0.";
    const std::wstring endMessage = L"error for endLength > the length of buffer.";
    EXPECT_EQ(startMessage, MessageOf([&] { abc.IndexOf(L"a", 5); }));
    EXPECT_EQ(startMessage, MessageOf([&] { abc.IndexOf(L"a", -1); }));
    EXPECT_EQ(endMessage, MessageOf([&] { abc.LastIndexOf(L"a", 4); }));
    EXPECT_EQ(endMessage, MessageOf([&] { abc.LastIndexOf(L"a", -1); }));
    EXPECT_EQ(0, abc.IndexOf(L"", 5));
    EXPECT_EQ(-1, abc.IndexOf(L"a", 3));
}

TEST(StrSearch, StartsWithAndEndsWith) {
    Str text(L"Hello");
    Str null;
    struct Case {
        const Str *s;
        const wchar_t *what;
        int start;
        bool ignoreCase;
        bool starts;
        bool ends;
    } cases[] = {
        {&text, L"He", 0, false, true, false}, {&text, L"he", 0, true, true, false},
        {&text, L"he", 0, false, false, false}, {&text, L"llo", 2, false, true, true},
        {&text, L"", 5, false, true, false}, {&text, L"", 6, false, false, false},
        {&text, L"o", -1, false, false, true}, {&text, L"Hello!", 0, false, false, false},
        {&text, L"LO", 3, true, true, true}, {&null, L"", 0, false, false, false},
        {&text, Null, 0, false, false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::wstring(c.what ? c.what : L"<none>") + L" at " + std::to_wstring(c.start));
        EXPECT_EQ(c.starts, c.s->StartsWith(c.what, c.start, c.ignoreCase));
        EXPECT_EQ(c.ends, c.s->EndsWith(c.what, c.ignoreCase));
    }
}

TEST(StrCompare, CaseFoldingIsAsciiOnlyAndFoldsToLower) {
    struct Case {
        const wchar_t *left, *right;
        bool ignoreCase;
        int expected;
    } cases[] = {
        {L"abc", L"ABC", true, 0}, {L"abc", L"ABC", false, 1}, {L"_", L"a", true, -1},
        {L"_", L"A", true, -1}, {L"_", L"A", false, 1}, {L"\u00e9", L"\u00c9", true, 1},
        {L"ab", L"abc", false, -1}, {L"b", L"abc", false, 1}, {L"\uff21", L"A", false, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::wstring(c.left) + L" vs " + c.right);
        EXPECT_EQ(c.expected, Str(c.left).CompareTo(c.right, c.ignoreCase));
        EXPECT_EQ(c.expected == 0, Str(c.left).Equals(Str(c.right), c.ignoreCase));
    }
}

TEST(StrSplit, PiecesAndTheClosingNullString) {
    struct Case {
        const wchar_t *text, *separator;
        int maxCount;
        bool ignoreCase;
        std::vector<std::wstring> pieces;
    } cases[] = {
        {L"a,b,", L",", 0, false, {L"a", L"b"}},
        {L",a", L",", 0, false, {L"", L"a"}},
        {L"a,,b", L",", 0, false, {L"a", L"", L"b"}},
        {L"a,b,c", L",", 1, false, {L"a", L"b,c"}},
        {L"a,b,c", L",", 2, false, {L"a", L"b", L"c"}},
        {L"abc", L",", 0, false, {L"abc"}},
        {L",", L",", 0, false, {L""}},
        {L"aXXbxxc", L"xx", 0, true, {L"a", L"b", L"c"}},
        {L"aXXbxxc", L"xx", 0, false, {L"aXXb", L"c"}},
        {L"aaa", L"aa", 0, false, {L"", L"a"}},
        {L"k=v=w", L"=", 1, false, {L"k", L"v=w"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::wstring(c.text) + L" at " + c.separator);
        Str *pieces = nullptr;
        int count = Str(c.text).Split(c.separator, &pieces, c.maxCount, c.ignoreCase);
        ASSERT_NE(nullptr, pieces);
        std::vector<std::wstring> got;
        for (int i = 0; i < count; ++i) {
            EXPECT_FALSE(pieces[i].IsNull()) << i;
            got.push_back(Show(pieces[i]));
        }
        EXPECT_EQ(c.pieces, got) << ShowPieces(pieces, count);
        EXPECT_TRUE(pieces[count].IsNull());
        delete[] pieces;
    }
}

TEST(StrSplit, NothingToSplitLeavesTheOutputAlone) {
    Str sentinel;
    Str *untouched = &sentinel;
    Str *pieces = untouched;
    EXPECT_EQ(0, Str(L"a,b").Split(L"", &pieces));
    EXPECT_EQ(0, Str(L"a,b").Split(Null, &pieces));
    EXPECT_EQ(0, Str(L"").Split(L",", &pieces));
    EXPECT_EQ(0, Str().Split(L",", &pieces));
    EXPECT_EQ(untouched, pieces);
}

TEST(StrSplit, NarrowPiecesKeepTheirCodePage) {
    Str text(CodePage(65001), L"\u65e5;\u672c");
    Str *pieces = nullptr;
    ASSERT_EQ(2, text.Split(L";", &pieces));
    EXPECT_EQ(65001, pieces[0].GetCodePage());
    EXPECT_EQ(3, pieces[1].GetLength());
    EXPECT_EQ(0, pieces[1].CompareTo(L"\u672c"));
    delete[] pieces;
}

TEST(StrReplace, Results) {
    struct Case {
        const wchar_t *text, *oldText, *newText;
        int start;
        bool ignoreCase;
        const wchar_t *expected;
    } cases[] = {
        {L"abab", L"ab", L"x", 0, false, L"xx"},
        {L"aXa", L"a", L"aa", 0, false, L"aaXaa"},
        {L"abab", L"ab", L"", 0, false, L""},
        {L"abab", L"ab", L"x", 1, false, L"abx"},
        {L"abab", L"ab", L"x", -4, false, L"xx"},
        {L"abab", L"ab", L"x", 3, false, L"abab"},
        {L"aAa", L"a", L"b", 0, true, L"bbb"},
        {L"aAa", L"a", L"b", 0, false, L"bAb"},
        {L"abc", L"", L"x", 0, false, L"abc"},
        {L"abc", L"abcd", L"x", 0, false, L"abc"},
        {L"aaa", L"aa", L"b", 0, false, L"ba"},
        {L"xyz", L"y", L"12345", 0, false, L"x12345z"},
        {L"%s%s%s", L"%s", L"<>", 0, false, L"<><><>"},
        {L"same", L"m", L"n", 0, false, L"sane"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::wstring(c.text) + L": " + c.oldText + L" -> " + c.newText);
        Str s(c.text);
        s.Replace(c.oldText, c.newText, c.start, c.ignoreCase);
        EXPECT_EQ(c.expected, Show(s));
        EXPECT_EQ(0, s.GetBuffer()[s.GetLength()]);
    }
    Str null;
    null.Replace(L"a", L"b");
    EXPECT_TRUE(null.IsNull());
    Str s(L"abc");
    s.Replace(Null, L"x").Replace(L"a", Null);
    EXPECT_EQ(L"abc", Show(s));
}

TEST(StrReplace, GrowsInPlaceWithRoomAndInOneBlockWithout) {
    Str roomy(MinCapacity(64));
    roomy.Assign(L"a-b-c");
    const wchar_t *before = roomy.GetBuffer();
    roomy.Replace(L"-", L"--");
    EXPECT_EQ(L"a--b--c", Show(roomy));
    EXPECT_EQ(before, roomy.GetBuffer());
    roomy.Replace(L"--", L"+");
    EXPECT_EQ(L"a+b+c", Show(roomy));
    EXPECT_EQ(before, roomy.GetBuffer());

    // 10 units, 4 matches growing by 2: reserved (2 * 4 * 1.3 + 10) = 20 units.
    Str tight(L"x.x.x.x.xx");
    ASSERT_EQ(10, tight.GetCapacity());
    tight.Replace(L".", L"...");
    EXPECT_EQ(L"x...x...x...x...xx", Show(tight));
    EXPECT_EQ(20, tight.GetCapacity());
    EXPECT_EQ(0, tight.GetBuffer()[tight.GetLength()]);
}

TEST(StrReplace, NarrowStringsReplaceInTheirCodePage) {
    Str s(CodePage(65001), L"\u00e4-\u00e4");
    s.Replace(L"\u00e4", L"ae");
    EXPECT_EQ(65001, s.GetCodePage());
    EXPECT_EQ(std::string("ae-ae"), std::string(s.GetBufferA()));
}

TEST(StrResize, CapacityFollowsTheGrowthRule) {
    struct Step {
        int length;
        bool keep;
        int capacity;
    };
    struct Case {
        int minCapacity;
        std::vector<Step> steps;
    } cases[] = {
        {0, {{10, false, 10}, {11, true, 14}, {14, true, 14}, {10, true, 13}, {2, false, 2}, {0, true, 0}}},
        {20, {{5, false, 20}, {30, true, 39}, {0, false, 26}, {21, true, 26}}},
        {0, {{-3, false, 0}, {1, true, 1}, {100, false, 130}}},
    };
    for (const Case &c : cases) {
        Str s{MinCapacity(c.minCapacity)};
        for (const Step &step : c.steps) {
            SCOPED_TRACE(std::to_wstring(c.minCapacity) + L"/" + std::to_wstring(step.length));
            s.SetLength(step.length, step.keep);
            EXPECT_EQ(step.length < 0 ? 0 : step.length, s.GetLength());
            EXPECT_EQ(step.capacity, s.GetCapacity());
            EXPECT_FALSE(s.IsNull());
            EXPECT_EQ(0, s.GetBuffer()[s.GetLength()]);
        }
    }
}

TEST(StrResize, KeepPreservesContentAndZeroesTheTail) {
    Str s(L"abcdef");
    s.SetLength(3, true);
    EXPECT_EQ(L"abc", Show(s));
    s.SetLength(6, true);
    EXPECT_EQ(std::wstring(L"abc\0\0\0", 6), Show(s));
    s.SetLength(4, false);
    EXPECT_EQ(std::wstring(4, L'\0'), Show(s));
    s.Assign(L"abcdef").Truncate(-1).Truncate(2);
    EXPECT_EQ(L"ab", Show(s));
}

TEST(StrResize, ClearKeepsTheReservedBuffer) {
    Str reserved(MinCapacity(20));
    reserved.Assign(L"abc").Clear();
    EXPECT_TRUE(reserved.IsNull());
    EXPECT_EQ(0, reserved.GetLength());
    EXPECT_NE(nullptr, reserved.GetBuffer());
    EXPECT_GE(reserved.GetCapacity(), 20);
    reserved.Clear(true);
    EXPECT_EQ(nullptr, reserved.GetBuffer());
    EXPECT_EQ(0, reserved.GetCapacity());
    Str plain(L"abc");
    plain.Clear();
    EXPECT_EQ(nullptr, plain.GetBuffer());
}

TEST(StrEdit, AppendInsertAndOperators) {
    Str s(L"bd");
    s.Insert(1, L"c").Insert(-5, L"a").Insert(99, L"e").Append(L"f").Append(Str(L"g"));
    EXPECT_EQ(L"abcdefg", Show(s));
    s.Append(s.GetBuffer() + 5);
    EXPECT_EQ(L"abcdefgfg", Show(s));
    s.Insert(0, s);
    EXPECT_EQ(L"abcdefgfgabcdefgfg", Show(s));
    EXPECT_EQ(L"x-1", Show(Str(L"x") + -1));
    EXPECT_EQ(L"xy", Show(Str(L"x") + L"y"));
    EXPECT_EQ(L"xy", Show(Str(L"x") + Str(L"y")));
    EXPECT_EQ(L"", Show(Str() + Null));
    Str null;
    null.Append(L"");
    EXPECT_TRUE(null.IsNull());
}

TEST(StrEdit, TrimRemovesWholeCopiesOnly) {
    struct Case {
        const wchar_t *text;
        const wchar_t *what; // none: Trim
        const wchar_t *start;
        const wchar_t *end;
    } cases[] = {
        {L"  a b  ", Null, L"a b", L"a b"},
        {L"\ta ", Null, L"\ta", L"\ta"},
        {L"   ", Null, L"", L""},
        {L"ababXab", L"ab", L"Xab", L"ababX"},
        {L"aaa", L"aa", L"a", L"a"},
        {L"abab", L"ab", L"", L""},
        {L"abc", L"", L"abc", L"abc"},
        {L"Abab", L"ab", L"Abab", L"Ab"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        if (!c.what) {
            EXPECT_EQ(c.start, Show(Str(c.text).Trim()));
            continue;
        }
        EXPECT_EQ(c.start, Show(Str(c.text).TrimStart(c.what)));
        EXPECT_EQ(c.end, Show(Str(c.text).TrimEnd(c.what)));
    }
}

TEST(StrNumbers, ToIntAndFromInt) {
    struct Case {
        const wchar_t *text;
        int base;
        int expected;
    } cases[] = {
        {L"", 10, 0}, {L"42", 10, 42}, {L"-17x", 10, -17}, {L"ff", 16, 255}, {L"0x1F", 16, 31},
        {L" 12", 10, 12}, {L"abc", 10, 0}, {L"777", 8, 511},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.expected, Str(c.text).ToInt(c.base));
        EXPECT_EQ(c.expected, Str(CodePage(0), c.text).ToInt(c.base));
    }
    EXPECT_EQ(0, Str().ToInt(10));
    EXPECT_EQ(L"-2147483648", Show(Str().FromInt(-2147483647 - 1)));
    Str narrow{CodePage(65001)};
    narrow.FromInt(123);
    EXPECT_EQ(65001, narrow.GetCodePage());
    EXPECT_EQ(std::string("123"), narrow.GetBufferA());
}

TEST(StrFormat, Results) {
    Str s;
    EXPECT_EQ(L"7", Show(s.Format(L"%d", 7)));
    EXPECT_EQ(L"", Show(s.Format(L"%s", L"")));
    EXPECT_LE(s.GetCapacity(), 1);
    EXPECT_EQ(L"wide \u65e5 5", Show(s.Format(L"%s %d", L"wide \u65e5", 5)));
    EXPECT_EQ(L"#0a0b0c", Show(s.Format(L"#%02x%02x%02x", 10, 11, 12)));
    std::wstring longText(5000, L'q');
    EXPECT_EQ(L"<" + longText + L">", Show(s.Format(L"<%s>", longText.c_str())));
    EXPECT_LE(s.GetCapacity(), static_cast<int>(5002 * 1.3));
    s.Format(Null, 1);
    EXPECT_TRUE(s.IsNull());
    EXPECT_EQ(nullptr, s.GetBuffer());

    Str self(L"abc");
    self.Format(L"%s|%s", self.GetBuffer(), self.GetBuffer());
    EXPECT_EQ(L"abc|abc", Show(self));
}

TEST(StrFormat, NarrowFormsKeepTheirCodePage) {
    Str utf8{CodePage(65001)};
    utf8.Format(L"%s!", L"\u00e9");
    EXPECT_EQ(65001, utf8.GetCodePage());
    EXPECT_EQ(std::string("\xc3\xa9!"), utf8.GetBufferA());

    Str wide;
    wide.FormatAnsi("%s-%d", "ab", 3);
    EXPECT_TRUE(wide.IsUnicode());
    EXPECT_EQ(L"ab-3", Show(wide));
    std::string longText(3000, 'z');
    wide.FormatAnsi("%s", longText.c_str());
    EXPECT_EQ(3000, wide.GetLength());
}

TEST(StrCodePage, RoundTripsThroughCodePages) {
    // The ANSI sample is chosen from what the system code page can hold.
    std::wstring ansiSample = GetACP() == 1252 ? L"Gr\u00fc\u00dfe \u20ac" : L"plain ASCII";
    struct Case {
        int codePage;
        std::wstring text;
    } cases[] = {
        {0, ansiSample},
        {65001, L"\u65e5\u672c\u8a9e \U0001F600 caf\u00e9"},
        {1200, L"\u65e5\u672c\u8a9e \U0001F600"},
        {65001, L""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.codePage);
        Str original(c.text.c_str());
        Str converted(CodePage(c.codePage), original);
        EXPECT_EQ(c.codePage, converted.GetCodePage());
        EXPECT_EQ(0, converted.CompareTo(original));
        EXPECT_TRUE(converted.Equals(original));

        int bytes = WideCharToMultiByte(c.codePage == 1200 ? CP_UTF8 : c.codePage, 0, c.text.c_str(), -1,
                                        nullptr, 0, nullptr, nullptr) - 1;
        if (c.codePage != 1200) {
            EXPECT_EQ(bytes, converted.GetLength());
        }

        Str back(converted);
        back.ToUnicode();
        EXPECT_TRUE(back.IsUnicode());
        EXPECT_EQ(c.text, Show(back));

        Str again(CodePage(1200), converted);
        EXPECT_EQ(c.text, Show(again));
    }
}

TEST(StrCodePage, NarrowAndWideMeet) {
    Str utf8(CodePage(65001), "\xe6\x97\xa5", 65001);
    EXPECT_EQ(3, utf8.GetLength());
    utf8.Append(L"\u672c").Insert(0, Str(L"<"));
    EXPECT_EQ(std::string("<\xe6\x97\xa5\xe6\x9c\xac"), utf8.GetBufferA());
    EXPECT_EQ(1, utf8.IndexOf(L"\u65e5"));
    EXPECT_TRUE(utf8.StartsWith(L"<\u65e5"));
    EXPECT_TRUE(utf8.EndsWith(L"\u672c"));

    Str wide(L"x");
    wide.Append(utf8);
    EXPECT_EQ(L"x<\u65e5\u672c", Show(wide));
    Str fromNarrow("\xe6\x97\xa5", 65001);
    EXPECT_TRUE(fromNarrow.IsUnicode());
    EXPECT_EQ(L"\u65e5", Show(fromNarrow));

    Str ansi(L"abc");
    EXPECT_EQ(std::string("abc"), ansi.ToAnsi());
    EXPECT_EQ(0, ansi.GetCodePage());
    Str narrowRange;
    narrowRange.Assign("hello", 1, 3, 0);
    EXPECT_EQ(L"ell", Show(narrowRange));
    Str wideRange;
    wideRange.Assign(L"hello", 3, 10);
    EXPECT_EQ(L"lo", Show(wideRange));

    Str emptyNarrow(L"");
    EXPECT_TRUE(emptyNarrow.ChangeCodePage(65001));
    EXPECT_FALSE(emptyNarrow.IsNull());
    EXPECT_EQ(65001, emptyNarrow.GetCodePage());
    Str nullNarrow;
    EXPECT_TRUE(nullNarrow.ChangeCodePage(932));
    EXPECT_TRUE(nullNarrow.IsNull());
}

TEST(StrMemory, AttachTakesTheBlock) {
    wchar_t *block = static_cast<wchar_t *>(malloc(4 * sizeof(wchar_t)));
    wcscpy(block, L"abc");
    Str s;
    s.Attach(block);
    EXPECT_EQ(nullptr, block);
    EXPECT_EQ(L"abc", Show(s));
    EXPECT_EQ(3, s.GetCapacity());
    s.Append(L"d");
    EXPECT_EQ(L"abcd", Show(s));

    char *bytes = static_cast<char *>(malloc(3));
    strcpy(bytes, "\xc3\xa9");
    s.Attach(bytes, 65001);
    EXPECT_EQ(65001, s.GetCodePage());
    EXPECT_EQ(0, s.CompareTo(L"\u00e9"));
}

TEST(ObjectRoot, NamesIdentityAndDisposal) {
    kx::Object object;
    wchar_t expected[64];
    _snwprintf(expected, 64, L"kx::Object@%d", static_cast<int>(reinterpret_cast<intptr_t>(&object)));
    EXPECT_EQ(std::wstring(expected), Show(object.ToString()));
    kx::Object other;
    EXPECT_TRUE(object.Equals(object));
    EXPECT_FALSE(object.Equals(other));
    EXPECT_FALSE(object.IsDisposed());
    object.Dispose();
    EXPECT_TRUE(object.IsDisposed());

    Str s(L"text");
    EXPECT_EQ(L"kx::Str", Show(s.GetTypeName()));
    EXPECT_EQ(L"text", Show(s.ToString()));
    const kx::Object &asObject = s;
    EXPECT_EQ(L"text", Show(asObject.ToString()));
    EXPECT_EQ(L"kx::ArgumentException", Show(kx::ArgumentException(L"x").GetTypeName()));
}

TEST(Exceptions, MessagesAreFormattedAndCopied) {
    std::wstring longArgument(3000, L'm');
    struct Case {
        std::wstring message;
        std::wstring expected;
    } cases[] = {
        {kx::ArgumentException(L"List::GetAt(int index), ERROR for out of Capacity.").GetMessage(),
         L"List::GetAt(int index), ERROR for out of Capacity."},
        {kx::UserException(L"%s, %d.", L"Control::CreateHandle", 5).GetMessage(), L"Control::CreateHandle, 5."},
        {kx::OutOfMemoryException(L"[%s]", longArgument.c_str()).GetMessage(), L"[" + longArgument + L"]"},
        {kx::Exception(L"").GetMessage(), L""},
        {kx::Exception(L"%s", L"").GetMessage(), L""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.expected, c.message);

    kx::ArgumentException original(L"bad %d", 1);
    kx::Exception copy(original);
    EXPECT_EQ(std::wstring(L"bad 1"), copy.GetMessage());
    EXPECT_EQ(std::wstring(L""), copy.GetAuxText());
    EXPECT_FALSE(copy.ToString().IsNull());
    EXPECT_EQ(0, copy.ToString().GetLength());
    kx::UserException rethrown(copy);
    EXPECT_EQ(std::wstring(L"bad 1"), rethrown.GetMessage());

    try {
        throw kx::ArgumentException(L"thrown %s", L"by value");
    } catch (const kx::Exception &e) {
        EXPECT_EQ(std::wstring(L"thrown by value"), e.GetMessage());
    }
}
