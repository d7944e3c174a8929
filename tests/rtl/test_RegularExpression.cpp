#include "rtl/Exceptions.h"
#include "rtl/RegularExpression.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace rtl;

TEST(RegEx, GroupsWithOffsets) {
    const TRegEx re(u"^VAT_(\\d{4})_(\\d+)(x)?\\.xml$");
    const UnicodeString subject = u"VAT_2024_17.xml";
    const TRegExMatch m = re.Match(subject);
    ASSERT_TRUE(m.Success);
    ASSERT_EQ(m.Groups.size(), 4u);
    EXPECT_EQ(m.Group(subject, 1), u"2024");
    EXPECT_EQ(m.Offset(2), 9);
    EXPECT_EQ(m.Length(2), 2);
    EXPECT_EQ(m.Offset(3), -1); // unset group
    EXPECT_EQ(m.Group(subject, 3), u"");
}

TEST(RegEx, NoMatchAndStartOffset) {
    const TRegEx re(u"b+");
    EXPECT_FALSE(re.IsMatch(u"aaa"));
    const TRegExMatch m = re.Match(u"abbab", 3);
    ASSERT_TRUE(m.Success);
    EXPECT_EQ(m.Offset(), 4);
    EXPECT_FALSE(re.Match(u"abb", 10).Success);
}

TEST(RegEx, Options) {
    EXPECT_FALSE(TRegEx(u"sage").IsMatch(u"SAGE"));
    EXPECT_TRUE(TRegEx(u"sage", roIgnoreCase).IsMatch(u"SAGE"));
    EXPECT_FALSE(TRegEx(u"<a>.*</a>").IsMatch(u"<a>\n</a>"));
    EXPECT_TRUE(TRegEx(u"<a>.*</a>", roSingleLine).IsMatch(u"<a>\n</a>"));
    EXPECT_FALSE(TRegEx(u"^two$").IsMatch(u"one\ntwo\nthree"));
    EXPECT_TRUE(TRegEx(u"^two$", roMultiLine).IsMatch(u"one\ntwo\nthree"));
}

TEST(RegEx, NonAsciiAndBrokenSurrogates) {
    const TRegEx re(u"£(\\d+)");
    const UnicodeString subject = u"😀 £12";
    const TRegExMatch m = re.Match(subject);
    ASSERT_TRUE(m.Success);
    EXPECT_EQ(m.Offset(), 3); // code units: the emoji is two
    EXPECT_EQ(m.Group(subject, 1), u"12");
    EXPECT_TRUE(re.IsMatch(UnicodeString(u"\xD800 £5")));
    // Broken surrogates anywhere, and matching from an offset past one.
    const UnicodeString broken(u"\xDC00£7\xD800");
    rtl::TRegExGroups groups;
    ASSERT_TRUE(re.Match(broken, groups, 1));
    EXPECT_EQ(groups.Offset(1), 2);
    EXPECT_FALSE(re.Match(broken, groups, 3));
    EXPECT_FALSE(re.IsMatch(UnicodeString(u"\xD800\xD800 £")));
}

TEST(RegEx, InvalidPatternRaisesWithPcreMessage) {
    try {
        TRegEx re(u"(abc");
        FAIL();
    } catch (const EArgumentException& e) {
        EXPECT_NE(e.Message().find(u"missing closing parenthesis"), UnicodeString::npos);
    }
}

TEST(RegEx, SharedAcrossThreads) {
    const TRegEx re(u"(\\d+)-(\\d+)");
    std::vector<std::thread> threads;
    std::vector<int> ok(4, 0);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            const UnicodeString s = u"x" + IntToStr(t) + u"-" + IntToStr(t * 10);
            for (int i = 0; i < 2000; ++i) {
                const TRegExMatch m = re.Match(s);
                ok[t] += m.Success && m.Group(s, 2) == IntToStr(t * 10);
            }
        });
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(ok, std::vector<int>(4, 2000));
}

TEST(RegEx, GroupsInPlaceAgreeWithTheMatchAndCapAtTheirSize) {
    const TRegEx re(u"(a)(x)?(b)");
    TRegExGroups groups;
    ASSERT_TRUE(re.Match(u"zzab", groups));
    ASSERT_EQ(groups.Count, 4);
    EXPECT_EQ(groups.Offset(0), 2);
    EXPECT_EQ(groups.Length(0), 2);
    EXPECT_EQ(groups.Offset(2), -1) << "a group that took no part";
    EXPECT_EQ(groups.Offset(3), 3);
    EXPECT_FALSE(re.Match(u"zzab", groups, 3));
    EXPECT_EQ(groups.Count, 0);

    // More groups than the in-place record holds, and more than the per-thread match data.
    UnicodeString pattern;
    UnicodeString subject;
    for (int i = 0; i < 40; ++i) {
        pattern += u"(.)";
        subject += static_cast<char16_t>(u'A' + i % 26);
    }
    const TRegEx wide(pattern);
    ASSERT_TRUE(wide.Match(subject, groups));
    EXPECT_EQ(groups.Count, TRegExGroups::kMaxGroups);
    EXPECT_EQ(groups.Offset(9), 8);
    const TRegExMatch all = wide.Match(subject);
    ASSERT_EQ(all.Groups.size(), 41u);
    EXPECT_EQ(all.Group(subject, 40), u"N");
}

TEST(RegEx, PartialMatchesTellWhereAGrowingTextCanStillMatch) {
    // Compiled for its information only, an expression matches as it does otherwise.
    for (const unsigned options : {unsigned(roNone), unsigned(roPartial), unsigned(roInfoOnly | roPartial)}) {
        const TRegEx close(u"(?:</[a-z]+>)$", options);
        TRegExGroups groups;
        // A complete match wins over any partial one, and is the leftmost as without partial matching.
        EXPECT_EQ(close.MatchPartial(u"ab</x>", groups), TRegExPartial::rpMatch);
        EXPECT_EQ(groups.Offset(0), 2);
        EXPECT_EQ(groups.Count, 1);
        // The earliest start that the end of the text interrupted.
        EXPECT_EQ(close.MatchPartial(u"a</b> c </x", groups), TRegExPartial::rpPartial);
        EXPECT_EQ(groups.Offset(0), 8);
        // "$" met at the end is partial too: more text could follow.
        EXPECT_EQ(close.MatchPartial(u"</x>z", groups), TRegExPartial::rpNoMatch);
        EXPECT_EQ(close.MatchPartial(u"text <", groups, 3), TRegExPartial::rpPartial);
        EXPECT_EQ(groups.Offset(0), 5);
        // A required last character that has not arrived yet must not rule the text out.
        EXPECT_EQ(close.MatchPartial(u"</ab", groups), TRegExPartial::rpPartial);
        EXPECT_EQ(close.MatchPartial(u"", groups), TRegExPartial::rpNoMatch);
    }
}

TEST(RegEx, InfoTellsWhereMatchesStartAndAUnitTheyHold) {
    const TRegExInfo comment = TRegEx(u"\\s*<!--").Info();
    EXPECT_FALSE(comment.Anchored);
    EXPECT_TRUE(comment.HasStartUnits);
    EXPECT_TRUE(comment.CanStartWith(u'<') && comment.CanStartWith(u' ') && comment.CanStartWith(u'\n'));
    EXPECT_FALSE(comment.CanStartWith(u'a') || comment.CanStartWith(u'\u20AC'));
    EXPECT_TRUE(comment.HasRequiredUnit);
    EXPECT_EQ(comment.RequiredUnit, u'-');
    EXPECT_EQ(comment.MinLength, 4u);
    EXPECT_EQ(TRegEx(u"\\s*<!--", roInfoOnly).Info().RequiredUnit, u'-');
    // A single literal is reported as the first unit only, yet every match holds it.
    const TRegExInfo brace = TRegEx(u"(?:\\})$").Info();
    EXPECT_TRUE(brace.HasRequiredUnit);
    EXPECT_EQ(brace.RequiredUnit, u'}');
    EXPECT_TRUE(TRegEx(u"^[^<]+").Info().Anchored);
    // Units that have another case are not told when case may be ignored, however it is switched on.
    for (const TRegEx& caseless : {TRegEx(u"end", roIgnoreCase), TRegEx(u"(?i)end"), TRegEx(u"e(?xi:nd)")}) {
        EXPECT_FALSE(caseless.Info().HasRequiredUnit);
        EXPECT_FALSE(caseless.Info().HasStartUnits && !caseless.Info().CanStartWith(u'E'));
    }
    EXPECT_EQ(TRegEx(u"(?i)<x>").Info().RequiredUnit, u'>');
    EXPECT_FALSE(TRegEx(u"a?").Info().HasStartUnits); // may match nothing
}

TEST(RegEx, FindReportsTheWholeMatchThroughTheCallersMatchData) {
    const TRegEx re(u"(a)(b)(c)(d)", roPartial); // more groups than the match data holds
    TRegExScratch scratch;
    long offset = -1, length = -1;
    EXPECT_TRUE(re.Find(u"xxabcd", scratch, offset, length));
    EXPECT_EQ(offset, 2);
    EXPECT_EQ(length, 4);
    EXPECT_FALSE(re.Find(u"abcd", scratch, offset, length, 1));
    EXPECT_EQ(re.FindPartial(u"xabcdy", scratch, offset, length), TRegExPartial::rpMatch);
    EXPECT_EQ(offset, 1);
    EXPECT_EQ(re.FindPartial(u"xxab", scratch, offset, length), TRegExPartial::rpPartial);
    EXPECT_EQ(offset, 2);
    EXPECT_EQ(re.FindPartial(u"xxb", scratch, offset, length), TRegExPartial::rpNoMatch);
}

TEST(RegEx, ResumeReadsOnlyWhatTheSubjectGained) {
    const TRegEx decl(u"^(?:\\s*<\\?.*?\\?>)", roSingleLine | roPartial);
    TRegExProgress progress;
    TRegExPartial found = TRegExPartial::rpNoMatch;
    UnicodeString subject = u" <?x";
    ASSERT_TRUE(decl.Resume(subject, progress, found));
    EXPECT_EQ(found, TRegExPartial::rpPartial);
    EXPECT_EQ(progress.Read(), 4u);
    // A unit before the read ones is not looked at again: only the appended "?>" completes it.
    subject[1] = u'!';
    subject += u"<e>?";
    ASSERT_TRUE(decl.Resume(subject, progress, found));
    EXPECT_EQ(found, TRegExPartial::rpPartial);
    subject += u">tail";
    ASSERT_TRUE(decl.Resume(subject, progress, found));
    EXPECT_EQ(found, TRegExPartial::rpMatch);
    EXPECT_EQ(progress.Read(), 0u); // starts again after a complete match
    // A search that can never match any more says so; one that starts again reads the whole.
    ASSERT_TRUE(decl.Resume(u"<x", progress, found));
    EXPECT_EQ(found, TRegExPartial::rpNoMatch);
    ASSERT_TRUE(decl.Resume(u"<?x?>", progress, found));
    EXPECT_EQ(found, TRegExPartial::rpMatch);
    // Text that is no well-formed UTF-16 is refused rather than misread.
    EXPECT_FALSE(decl.Resume(UnicodeString(u"<?\xD800"), progress, found));
}

TEST(RegEx, ResumeRefusesWhatItWouldAnswerDifferently) {
    // Unanchored, looking around or behind, back references, atomic and possessive parts (taken at
    // their first rather than their longest), end assertions.
    for (const char16_t* pattern : {u"a.*b", u"^a(?=b)", u"^a(?<=a)b", u"^(a)\\1", u"^(?>x|xy)y", u"^a*+b",
                                    u"^a\\b", u"^a$", u"^a\\z", u"^(*COMMIT)a", u"^a\\Kb", u"^a|^b(?x) c"}) {
        TRegExProgress progress;
        TRegExPartial found = TRegExPartial::rpNoMatch;
        EXPECT_FALSE(TRegEx(pattern).Resume(u"ab", progress, found)) << rtl::StringToUtf8(pattern);
    }
    TRegExProgress progress;
    TRegExPartial found = TRegExPartial::rpNoMatch;
    EXPECT_TRUE(TRegEx(u"^[$^\\]a]+(?i:x)").Resume(u"a$^]", progress, found));
    EXPECT_EQ(found, TRegExPartial::rpPartial);
}

TEST(RegEx, ResumeAnswersAsASearchOfTheWholeSubject) {
    // Every prefix of pseudo-random subjects, grown a unit or a character at a time from starts that
    // the patterns may take.
    const char16_t* const patterns[] = {u"^(?:\\s*<\\?.*?\\?>)",
                                        u"^(?:\\s*<([a-z]+)(?:\\s+[a-z]+=\"[^\"]*\")*\\s*/?>)",
                                        u"^(?:(?i)ab+c|a(?:b|bc)d{2,3})", u"^(?:[^<\\d]+?x|<\\w*é)"};
    const char16_t* const pieces[] = {u"a", u"b", u"c", u"d", u"<", u"?", u">",
                                      u"\"", u" ", u"x", u"=", u"é", u"😀", u"/"};
    const char16_t* const starts[] = {u"<?", u" <a", u"<ab x=\"", u"a", u"Ab", u"q"};
    TRegExScratch scratch;
    std::uint32_t seed = 29;
    int resumed = 0;
    for (const char16_t* pattern : patterns) {
        const TRegEx re(pattern, roSingleLine | roPartial);
        for (int subject = 0; subject < 300; ++subject) {
            TRegExProgress progress;
            UnicodeString text = starts[subject % std::size(starts)];
            for (int step = 0; step < 16; ++step, ++resumed) {
                seed = seed * 1103515245u + 12345u;
                text += pieces[(seed >> 16) % std::size(pieces)];
                TRegExPartial found = TRegExPartial::rpNoMatch;
                ASSERT_TRUE(re.Resume(text, progress, found));
                long offset = 0, length = 0;
                ASSERT_EQ(found, re.FindPartial(text, scratch, offset, length)) << rtl::StringToUtf8(text);
                if (found != TRegExPartial::rpPartial)
                    break;
            }
        }
    }
    EXPECT_GT(resumed, 2000); // enough of them go on past their start
}
