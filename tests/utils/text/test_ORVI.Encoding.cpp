#include "utils/text/ORVI.Encoding.h"

#include <gtest/gtest.h>

#include <memory>

using namespace orvi;
using rtl::TEncoding;

namespace {

TEST(EncodingRegistry, TheSixStandardEncodingsAreThereFromTheStart) {
    rtl::TStringList names;
    names.Add(u"kept");
    EXPECT_EQ(ORVIGetRegisteredEncodings(&names), 6);
    EXPECT_EQ(names.Count(), 7);
    for (TEncoding* e : {TEncoding::ANSI(), TEncoding::ASCII(), TEncoding::BigEndianUnicode(), TEncoding::Unicode(),
                         TEncoding::UTF7(), TEncoding::UTF8()}) {
        EXPECT_EQ(ORVIGetEncoding(e->EncodingName()), e);
        EXPECT_GE(names.IndexOf(e->EncodingName()), 1);
    }
    EXPECT_EQ(ORVIGetEncodingClass(u"UTF-16BE"), &TEncoding::BigEndianUnicode()->ClassType());
    EXPECT_EQ(ORVIGetEncoding(u"utf-8"), nullptr); // names are compared exactly
    EXPECT_EQ(ORVIGetEncodingClass(u"none"), nullptr);
    EXPECT_EQ(ORVIGetRegisteredEncodings(nullptr), 0);
}

TEST(EncodingRegistry, CountsOnlyTheNamesTheListTook) {
    rtl::TStringList names;
    names.SetSorted(true);
    names.Add(u"UTF-8");
    EXPECT_EQ(ORVIGetRegisteredEncodings(&names), 5);
    EXPECT_EQ(names.Count(), 6);
}

TEST(EncodingRegistry, RegisterReplacesAndUnregisterNeedsTheSameObject) {
    std::unique_ptr<TEncoding> mine(TEncoding::UTF8()->ClassType().Create());
    ORVIRegisterEncoding(u"Mine", mine.get());
    ORVIRegisterEncoding(u"", mine.get());
    ORVIRegisterEncoding(u"Null", nullptr);
    EXPECT_EQ(ORVIGetEncoding(u"Mine"), mine.get());
    EXPECT_EQ(ORVIGetEncoding(u"Null"), nullptr);
    ORVIUnregisterEncoding(u"Mine", TEncoding::UTF8());
    EXPECT_EQ(ORVIGetEncoding(u"Mine"), mine.get());
    ORVIRegisterEncoding(u"Mine", TEncoding::ASCII());
    EXPECT_EQ(ORVIGetEncoding(u"Mine"), TEncoding::ASCII());
    ORVIUnregisterEncoding(u"Mine", TEncoding::ASCII());
    EXPECT_EQ(ORVIGetEncoding(u"Mine"), nullptr);
    rtl::TStringList names;
    EXPECT_EQ(ORVIGetRegisteredEncodings(&names), 6);
}

TEST(EncodingRegistry, ReleaseEmptiesAndRegisteringBuiltInsRefills) {
    ORVIReleaseEncodings();
    EXPECT_EQ(ORVIGetEncoding(u"UTF-8"), nullptr);
    rtl::TStringList names;
    EXPECT_EQ(ORVIGetRegisteredEncodings(&names), 0);
    ORVIRegisterBuiltInEncodings();
    EXPECT_EQ(ORVIGetEncoding(u"UTF-8"), TEncoding::UTF8());
}

} // namespace
