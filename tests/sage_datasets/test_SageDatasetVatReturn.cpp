#include "sage_datasets/DatasetBuilder.h"
#include "sage_datasets/SageDatasetVatReturn.h"
#include "sage_datasets/SageDatasetVersions.h"

#include "rtl/DateTime.h"
#include "rtl/Exceptions.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <memory>

namespace fs = std::filesystem;
using namespace sagetest;
using rtl::Currency;
using rtl::EncodeDate;
using sage::TSageDatasetVatReturn;

namespace {

const std::string kQ2Name = "VAT Return 01-04-2021 - 30-06-2021.xml";

Currency Pounds(std::int64_t pounds, std::int64_t pence = 0) {
    return Currency::FromRaw(pounds * 10000 + pence * 100);
}

// One dataset with return files written by each test; the returns are read afresh per call.
class VatReturnFileTest : public ::testing::Test {
protected:
    VatReturnFileTest() { builder.WriteSetup({}, 27); }
    ~VatReturnFileTest() override { rtl::Free(dataset); }

    // The return read from the only file of the year folder, or null when the file was rejected.
    const TSageDatasetVatReturn* ReadOne(const std::string& xml, const std::string& name = kQ2Name) {
        std::filesystem::remove_all(builder.Folder() / "VATRTNS" / "2021");
        builder.WriteReturn("2021", name, xml);
        return ReadAll() == 1 ? static_cast<const TSageDatasetVatReturn*>(dataset->VatReturns().Objects(0))
                              : nullptr;
    }
    int ReadAll() {
        rtl::Free(dataset);
        dataset = sage::SageDatasetClassForVersion(27)->Create(builder.Text());
        return dataset->VatReturns().Count();
    }
    // A complete return with one element replaced (or removed when text is null).
    static std::string With(const std::string& element, const char* text) {
        std::vector<std::pair<std::string, std::string>> elements = {{"COMPANY", "ACME LTD"},
                                                                     {"DATEFROM", "01/04/2021"},
                                                                     {"DATETO", "30/06/2021"},
                                                                     {"FLATRATELIABILITY", "1.50"},
                                                                     {"STANDARDRATELIABILITY", "2.50"},
                                                                     {"STANDARDRATESALES", "3.50"},
                                                                     {"STANDARDRATEPURCHASE", "4.50"},
                                                                     {"FLATRATEBENEFITCOST", "5.50"},
                                                                     {"BOX1", "100.00"},
                                                                     {"BOX2", "20.00"},
                                                                     {"BOX3", "120.00"},
                                                                     {"BOX4", "30.00"},
                                                                     {"BOX5", "90.00"},
                                                                     {"BOX6", "500.00"}};
        std::vector<std::pair<std::string, std::string>> result;
        bool replaced = false;
        for (auto& e : elements) {
            if (e.first == element) {
                replaced = true;
                if (text != nullptr) {
                    result.emplace_back(element, text);
                }
            } else {
                result.push_back(e);
            }
        }
        if (!replaced && text != nullptr) {
            result.emplace_back(element, text);
        }
        return ReturnXml(result);
    }

    TTempFolder temp;
    TDatasetBuilder builder{temp.Path() / "Acme"};
    sage::TSageDataset* dataset = nullptr;
};

TEST_F(VatReturnFileTest, ElementsFillTheRecord) {
    const TSageDatasetVatReturn* r = ReadOne(With("BOX13", "-7.1234"));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->CompanyName(), u"ACME LTD");
    EXPECT_EQ(r->DateFrom(), EncodeDate(2021, 4, 1));
    EXPECT_EQ(r->DateTo(), EncodeDate(2021, 6, 30));
    EXPECT_EQ(r->FlatRateLiability(), Pounds(1, 50));
    EXPECT_EQ(r->StandardRateLiability(), Pounds(2, 50));
    EXPECT_EQ(r->StandardRateSales(), Pounds(3, 50));
    EXPECT_EQ(r->StandardRatePurchase(), Pounds(4, 50));
    EXPECT_EQ(r->FlatRateBeniftCost(), Pounds(5, 50));
    const Currency boxes[13] = {Pounds(100),
                                Pounds(20),
                                Pounds(120),
                                Pounds(30),
                                Pounds(90),
                                Pounds(500),
                                {},
                                {},
                                {},
                                {},
                                {},
                                {},
                                Currency::FromRaw(-71234)};
    for (int box = 1; box <= 13; ++box) {
        EXPECT_EQ(r->GetBox(box), boxes[box - 1]) << box;
    }
    EXPECT_EQ(r->VatNumber(), u"123456789");
}

TEST_F(VatReturnFileTest, LastOccurrenceWinsAndUnknownElementsAreIgnored) {
    const TSageDatasetVatReturn* r = ReadOne(ReturnXml({{"BOX1", "1.00"},
                                                        {"BOX14", "9.00"},
                                                        {"BOX01", "8.00"},
                                                        {"BOX", "8.00"},
                                                        {"BOX1X", "8.00"},
                                                        {"BOX130", "8.00"},
                                                        {"COMPANYX", "8.00"},
                                                        {"box2", "7.00"},
                                                        {"BOX1", "2.00"},
                                                        {"NOTES", ""},
                                                        {"COMPANY", "First"},
                                                        {"COMPANY", "Second"}}));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->GetBox(1), Pounds(2));
    EXPECT_EQ(r->GetBox(2), Currency());
    EXPECT_EQ(r->CompanyName(), u"Second");
}

TEST_F(VatReturnFileTest, EmptyBoxIsZeroButOtherEmptyElementsRejectTheFile) {
    const TSageDatasetVatReturn* r = ReadOne(With("BOX6", ""));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->GetBox(6), Currency());
    ASSERT_NE(ReadOne(With("BOX6", "   ")), nullptr);
    EXPECT_EQ(ReadOne(With("FLATRATELIABILITY", "")), nullptr);
    EXPECT_EQ(ReadOne(With("COMPANY", "")), nullptr);
    EXPECT_EQ(ReadOne(With("DATEFROM", "")), nullptr);
    EXPECT_EQ(ReadOne(With("BOX1", "12,00")), nullptr) << "not a number with a full stop as separator";
    EXPECT_EQ(ReadOne(With("STANDARDRATESALES", "abc")), nullptr);
    EXPECT_EQ(ReadOne(With("BOX2", "<X>1</X>")), nullptr) << "nested elements instead of text";
}

TEST_F(VatReturnFileTest, TextInSeveralPiecesOrWithEntitiesIsJoined) {
    const TSageDatasetVatReturn* r = ReadOne(ReturnXml({{"COMPANY", "Smith &amp; Sons <!-- note --> Ltd"},
                                                        {"BOX1", "<![CDATA[1.]]>50"},
                                                        {"BOX2", " 2.25 "}}));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->CompanyName(), u"Smith & Sons  Ltd");
    EXPECT_EQ(r->GetBox(1), Pounds(1, 50));
    EXPECT_EQ(r->GetBox(2), Currency::FromRaw(22500));
}

TEST_F(VatReturnFileTest, AmountsFollowTheRegionalDecimalSeparator) {
    const rtl::TFormatSettings saved = rtl::FormatSettings();
    rtl::FormatSettings().DecimalSeparator = u',';
    const TSageDatasetVatReturn* r = ReadOne(ReturnXml({{"COMPANY", "A"}, {"BOX1", "12,34"}}));
    const Currency box1 = r ? r->GetBox(1) : Currency::FromRaw(-1);
    rtl::FormatSettings() = saved;
    EXPECT_EQ(box1, Pounds(12, 34));
}

TEST_F(VatReturnFileTest, DateRuleFindsSlashedOrEightDigitDates) {
    const TSageDatasetVatReturn* r = ReadOne(With("DATEFROM", "From 01/04/2021 00:00:00"), "return.xml");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->DateFrom(), EncodeDate(2021, 4, 1));
    r = ReadOne(With("DATEFROM", "x01042021y"), "return.xml");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->DateFrom(), EncodeDate(2021, 4, 1));
    r = ReadOne(With("DATEFROM", "no date here"), "return.xml");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->DateFrom(), 0);
    r = ReadOne(With("DATEFROM", "00/00/0000"), "return.xml");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->DateFrom(), 0);
    EXPECT_EQ(ReadOne(With("DATEFROM", "31/04/2021"), "return.xml"), nullptr);
    EXPECT_EQ(ReadOne(With("DATETO", "29/02/2021"), "return.xml"), nullptr);
    EXPECT_EQ(ReadOne(With("DATETO", "01/13/2021"), "return.xml"), nullptr);
    EXPECT_NE(ReadOne(With("DATETO", "29/02/2020"), "return.xml"), nullptr);
}

TEST_F(VatReturnFileTest, DateRuleTakesTheFirstSlashedDateBeforeAnyDigitRun) {
    struct TCase {
        const char* text;
        rtl::TDateTime expected;
    };
    const TCase cases[] = {
        {"12345678 then 01/04/2021", EncodeDate(2021, 4, 1)}, // the digit run alone is no date
        {"0/01/04/2021", EncodeDate(2021, 4, 1)},
        {"01/04/2021 or 02/05/2022", EncodeDate(2021, 4, 1)},
        {"010420219", EncodeDate(2021, 4, 1)},
        {"\xC3\xA9"
         "01/04/2021\xC3\xA9",
         EncodeDate(2021, 4, 1)},
        {"0104\xC3\xA9"
         "2021",
         0},
        {"1/04/2021", 0},
        {"01-04-2021", 0},
    };
    for (const TCase& c : cases) {
        const TSageDatasetVatReturn* r = ReadOne(With("DATEFROM", c.text), "return.xml");
        ASSERT_NE(r, nullptr) << c.text;
        EXPECT_EQ(r->DateFrom(), c.expected) << c.text;
    }
}

TEST_F(VatReturnFileTest, AmountsAreReadExactlyFromTheElementText) {
    struct TCase {
        const char* text;
        std::int64_t raw;
    };
    const TCase read[] = {{" 12.5 ", 125000},  {"+3", 30000},      {"\t7.\n", 70000}, {"-0.00005", -1},
                          {"1.000049", 10000}, {"2.99995", 30000}, {".25", 2500},     {"   ", 0}};
    for (const TCase& c : read) {
        const TSageDatasetVatReturn* r = ReadOne(With("BOX1", c.text));
        ASSERT_NE(r, nullptr) << c.text;
        EXPECT_EQ(r->GetBox(1).Raw(), c.raw) << c.text;
    }
    for (const char* junk : {"1.2.3", "1,5",
                             "\xC2\xA3"
                             "5",
                             "5 p", "12\xC2\xA0", "-", "1 000"}) {
        EXPECT_EQ(ReadOne(With("BOX1", junk)), nullptr) << junk;
    }
    EXPECT_EQ(ReadOne(With("FLATRATELIABILITY", "  ")), nullptr) << "blanks are no amount outside the boxes";
}

TEST_F(VatReturnFileTest, FileNameSuppliesMissingDates) {
    for (const std::string& name : {kQ2Name, std::string("VAT Return 01042021 - 30062021.xml")}) {
        const TSageDatasetVatReturn* r =
            ReadOne(ReturnXml({{"COMPANY", "ACME LTD"}, {"BOX1", "1.00"}}), name);
        ASSERT_NE(r, nullptr) << name;
        EXPECT_EQ(r->DateFrom(), EncodeDate(2021, 4, 1)) << name;
        EXPECT_EQ(r->DateTo(), EncodeDate(2021, 6, 30)) << name;
    }
}

TEST_F(VatReturnFileTest, FileNameDatesReplaceAReversedPeriod) {
    const TSageDatasetVatReturn* r =
        ReadOne(ReturnXml({{"COMPANY", "A"}, {"DATEFROM", "01/07/2021"}, {"DATETO", "30/06/2021"}}));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->DateFrom(), EncodeDate(2021, 4, 1));
    EXPECT_EQ(r->DateTo(), EncodeDate(2021, 6, 30));
}

TEST_F(VatReturnFileTest, FileNameRules) {
    EXPECT_EQ(ReadOne(With("DATEFROM", nullptr), "VAT Return 31-04-2021 - 30-06-2021.xml"), nullptr)
        << "an impossible date in the name";
    const TSageDatasetVatReturn* r =
        ReadOne(With("DATEFROM", nullptr), "vat return 01-04-2021 - 30-06-2021.xml");
    ASSERT_NE(r, nullptr) << "the pattern is case-sensitive, so the name simply does not count";
    EXPECT_EQ(r->DateFrom(), 0);
    r = ReadOne(With("DATEFROM", nullptr), "Copy of VAT Return 01-01-2021 - 31-03-2021.xml");
    ASSERT_NE(r, nullptr) << "the match may start anywhere";
    EXPECT_EQ(r->DateFrom(), EncodeDate(2021, 1, 1));
    r = ReadOne(With("DATEFROM", nullptr),
                "VAT Return 99-99-2021 and VAT Return 01-01-2021 - 31-03-2021.xml");
    ASSERT_NE(r, nullptr) << "a partial match with an impossible date is no match";
    EXPECT_EQ(r->DateFrom(), EncodeDate(2021, 1, 1));
    r = ReadOne(With("DATEFROM", nullptr), "VAT Return 0104-2021 - 30-062021.xml");
    ASSERT_NE(r, nullptr) << "each dash is optional on its own";
    EXPECT_EQ(r->DateFrom(), EncodeDate(2021, 4, 1));
    r = ReadOne(With("DATEFROM", nullptr), "VAT Return 01-01-2021 - 31-03-2021.xml.bak");
    ASSERT_NE(r, nullptr) << "the name must end with the pattern";
    EXPECT_EQ(r->DateFrom(), 0);
}

TEST_F(VatReturnFileTest, FileNameMayEndInOneNewline) {
    const TSageDatasetVatReturn* r =
        ReadOne(With("DATEFROM", nullptr), "VAT Return 01-01-2021 - 31-03-2021.xml\n");
    ASSERT_NE(r, nullptr) << "one final newline is allowed after the pattern";
    EXPECT_EQ(r->DateFrom(), EncodeDate(2021, 1, 1));
}

TEST_F(VatReturnFileTest, ReturnWithoutAnyDatesSortsLast) {
    builder.WriteReturn("2021", "undated.xml", ReturnXml({{"COMPANY", "A"}}));
    builder.WriteReturn("2021", kQ2Name, SimpleReturnXml("01/04/2021", "30/06/2021"));
    ASSERT_EQ(ReadAll(), 2);
    const rtl::TStringList& returns = dataset->VatReturns();
    EXPECT_EQ(returns.Strings(1), u"1899/12/30");
    const auto* undated = static_cast<const TSageDatasetVatReturn*>(returns.Objects(1));
    EXPECT_EQ(undated->Period(), u"30/12/1899 - 30/12/1899");
}

TEST_F(VatReturnFileTest, ForeignOrBrokenFilesAreLeftOut) {
    builder.WriteReturn("2021", "VAT Return 01-01-2021 - 31-03-2021.xml",
                        SimpleReturnXml("01/01/2021", "31/03/2021"));
    builder.WriteReturn("2021", kQ2Name, "<?xml version=\"1.0\"?><OTHER><COMPANY>A</COMPANY></OTHER>");
    builder.WriteReturn("2021", "VAT Return 01-07-2021 - 30-09-2021.xml", "<VATRETURN><COMPANY>A</COMP");
    builder.WriteReturn("2021", "VAT Return 01-10-2021 - 31-12-2021.xml", "");
    builder.WriteReturn("2021", "VAT Return 01-01-2022 - 31-03-2022.xml", std::string("\0\xFF\xFE<", 4));
    builder.WriteReturn(
        "2021", "bomb.xml",
        "<?xml version=\"1.0\"?><!DOCTYPE VATRETURN [<!ENTITY a \"aaaaaaaaaa\">"
        "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\"><!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">]>"
        "<VATRETURN><COMPANY>&c;</COMPANY></VATRETURN>");
    ReadAll();
    const rtl::TStringList& returns = dataset->VatReturns();
    EXPECT_GE(returns.IndexOf(u"2021/01/01"), 0);
    for (const char16_t* rejected : {u"2021/04/01", u"2021/07/01", u"2021/10/01", u"2022/01/01"}) {
        EXPECT_LT(returns.IndexOf(rejected), 0) << rtl::StringToUtf8(rejected);
    }
    for (int i = 0; i < returns.Count(); ++i) {
        EXPECT_LT(static_cast<const TSageDatasetVatReturn*>(returns.Objects(i))->CompanyName().size(), 100u)
            << "entities are never expanded";
    }
}

TEST_F(VatReturnFileTest, DeeplyNestedAndHugeFilesDoNotHurt) {
    std::string nested = "<VATRETURN><COMPANY>A</COMPANY><X>";
    for (int i = 0; i < 100000; ++i) {
        nested += "<Y>";
    }
    const TSageDatasetVatReturn* r = ReadOne(nested); // not well-formed: left out, no crash
    EXPECT_EQ(r, nullptr);
    // Real return files are a few KiB; up to 4 MiB is read, anything larger is left out unread.
    std::string large = "<VATRETURN><COMPANY>" + std::string(4'000'000, 'A') + "</COMPANY></VATRETURN>";
    r = ReadOne(large);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->CompanyName().size(), 4'000'000u);
    EXPECT_EQ(ReadOne("<VATRETURN><COMPANY>" + std::string(4 << 20, 'A') + "</COMPANY></VATRETURN>"),
              nullptr);
}

// Within the size cap, a document of many tiny elements or of deep nesting would still cost far more
// memory than its size: such documents are refused before they are built.
TEST_F(VatReturnFileTest, DocumentsTooDeepOrWithTooManyNodesAreLeftOut) {
    std::string deep = "<VATRETURN><COMPANY>A</COMPANY>";
    for (int i = 0; i < 300; ++i) {
        deep += "<Y a=\"/>\">";
    }
    for (int i = 0; i < 300; ++i) {
        deep += "</Y>";
    }
    EXPECT_EQ(ReadOne(deep + "</VATRETURN>"), nullptr) << "a quoted \"/>\" does not end a tag";
    std::string many = "<VATRETURN><COMPANY>A</COMPANY>";
    for (int i = 0; i < 1'000'001; ++i) {
        many += "<a/>";
    }
    EXPECT_EQ(ReadOne(many + "</VATRETURN>"), nullptr);
    EXPECT_NE(ReadOne(With("BOX1", "100.00")), nullptr) << "an ordinary return still reads";
}

// A NUL character would cut the company name short where it stands; XML does not allow it.
TEST_F(VatReturnFileTest, NulCharacterReferencesMakeTheFileMalformed) {
    for (const char* company : {"ACME&#0;EVIL LTD", "ACME&#x00;EVIL LTD", "ACME&#000;EVIL"}) {
        EXPECT_EQ(ReadOne(With("COMPANY", company)), nullptr) << company;
    }
    const TSageDatasetVatReturn* r = ReadOne(With("COMPANY", "ACME&#10;&#48;LTD"));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->CompanyName(), u"ACME\n0LTD");
}

// Amounts near the limit of the record would wrap round into a plausible wrong figure.
TEST_F(VatReturnFileTest, AnAdjustmentThatWouldOverflowMakesTheReturnUnreadable) {
    builder.WriteAdjustments("2021", kQ2Name, AdjustmentsXml({{"0", {{"922337203685000.00", "0"}}}}));
    EXPECT_EQ(ReadOne(With("BOX1", "922337203685000.00")), nullptr);
    builder.WriteAdjustments("2021", kQ2Name, AdjustmentsXml({{"0", {{"-1.00", "0"}}}}));
    EXPECT_NE(ReadOne(With("BOX1", "922337203685000.00")), nullptr);
}

TEST_F(VatReturnFileTest, ReturnAndAdjustmentFilesThatAreNoRegularFilesAreLeftOutWithoutWaiting) {
    builder.WriteReturn("2021", "VAT Return 01-01-2021 - 31-03-2021.xml",
                        SimpleReturnXml("01/01/2021", "31/03/2021"));
    const fs::path year = builder.Folder() / "VATRTNS" / "2021";
    ASSERT_EQ(::mkfifo((year / kQ2Name).c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", year / "VAT Return 01-07-2021 - 30-09-2021.xml");
    builder.WriteReturn("2021", "VAT Return 01-10-2021 - 31-12-2021.xml",
                        SimpleReturnXml("01/10/2021", "31/12/2021"));
    const fs::path adjustments =
        builder.WriteAdjustments("2021", "VAT Return 01-10-2021 - 31-12-2021.xml", "<VatReturn/>");
    fs::remove(adjustments);
    ASSERT_EQ(::mkfifo(adjustments.c_str(), 0600), 0);
    EXPECT_EQ(ReadAll(), 1);
    EXPECT_GE(dataset->VatReturns().IndexOf(u"2021/01/01"), 0);
}

TEST_F(VatReturnFileTest, UnusualEncodingsAreHonoured) {
    const std::string latin1 =
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><VATRETURN><COMPANY>Caf\xE9</COMPANY>"
        "<BOX1>1.00</BOX1></VATRETURN>";
    const TSageDatasetVatReturn* r = ReadOne(latin1);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->CompanyName(), u"Caf\u00E9");
    const std::string w1252 =
        "<?xml version=\"1.0\" encoding=\"windows-1252\"?><VATRETURN><COMPANY>\x80 Ltd</COMPANY>"
        "</VATRETURN>";
    r = ReadOne(w1252);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->CompanyName(), u"\u20AC Ltd");
}

// --- Adjustments.xml ------------------------------------------------------------------------------

TEST_F(VatReturnFileTest, AdjustmentsAddToTheirBoxAndRecomputeBoxesThreeAndFive) {
    builder.WriteAdjustments(
        "2021", kQ2Name, AdjustmentsXml({{"0", {{"100.00", "0"}, {"55.00", "1"}}}, {"3", {{"-5.50", "3"}}}}));
    const TSageDatasetVatReturn* r = ReadOne(With("BOX3", "999.00"));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->GetBox(1), Pounds(200));
    EXPECT_EQ(r->GetBox(2), Pounds(20));
    EXPECT_EQ(r->GetBox(3), Pounds(220));
    EXPECT_EQ(r->GetBox(4), Pounds(24, 50));
    EXPECT_EQ(r->GetBox(5), Pounds(195, 50));
}

TEST_F(VatReturnFileTest, AdjustmentsAgainstBoxThreeAreReplacedBySums) {
    builder.WriteAdjustments("2021", kQ2Name, AdjustmentsXml({{"2", {{"7.00", "2"}}}}));
    const TSageDatasetVatReturn* r = ReadOne(With("BOX3", "999.00"));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->GetBox(3), Pounds(120));
    EXPECT_EQ(r->GetBox(5), Pounds(90));
}

TEST_F(VatReturnFileTest, AdjustmentsWithoutAMatchingEntryLeaveTheBoxesAsRead) {
    builder.WriteAdjustments("2021", kQ2Name, AdjustmentsXml({{"0", {{"100.00", "1"}}}}));
    const TSageDatasetVatReturn* r = ReadOne(With("BOX3", "999.00"));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->GetBox(1), Pounds(100));
    EXPECT_EQ(r->GetBox(3), Pounds(999)) << "no adjustment counted: no recomputation";
}

TEST_F(VatReturnFileTest, AdjustmentsWithAnotherDocumentElementContributeNothing) {
    builder.WriteAdjustments("2021", kQ2Name, AdjustmentsXml({{"0", {{"100.00", "0"}}}}, "Adjustments"));
    const TSageDatasetVatReturn* r = ReadOne(With("BOX3", "999.00"));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->GetBox(1), Pounds(100));
    builder.WriteAdjustments("2021", kQ2Name, AdjustmentsXml({{"0", {{"1.00", "0"}}}}, "ns:VATRETURN"));
    r = ReadOne(With("BOX3", "999.00"));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->GetBox(1), Pounds(101)) << "local name compared without regard to case";
}

TEST_F(VatReturnFileTest, BoxTypeOutsideTheRecordIsIgnored) {
    builder.WriteAdjustments(
        "2021", kQ2Name,
        AdjustmentsXml({{"13", {{"1.00", "13"}}}, {"-1", {{"1.00", "-1"}}}, {"5", {{"2.00", "5"}}}}));
    const TSageDatasetVatReturn* r = ReadOne(With("BOX6", "10.00"));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->GetBox(6), Pounds(12));
    EXPECT_EQ(r->GetBox(13), Currency());
}

TEST_F(VatReturnFileTest, BrokenAdjustmentsRejectTheReturn) {
    const std::vector<std::string> broken = {
        "<VatReturn><Box "
        "type=\"0\"><Adjustment><Value>1.00</Value><EnteredInBox>0</EnteredInBox></Adjustment>",
        AdjustmentsXml({{"zero", {{"1.00", "0"}}}}),
        "<VatReturn><Box><Adjustment><Value>1</Value><EnteredInBox>0</EnteredInBox></Adjustment></Box></"
        "VatReturn>",
        AdjustmentsXml({{"0", {{"one", "0"}}}}),
        AdjustmentsXml({{"0", {{"1.00", "x"}}}}),
        "<VatReturn><Box "
        "type=\"0\"><Adjustment><EnteredInBox>0</EnteredInBox></Adjustment></Box></VatReturn>",
        "<VatReturn><Box type=\"0\"><Adjustment><Value>1</Value></Adjustment></Box></VatReturn>"};
    for (const std::string& xml : broken) {
        builder.WriteAdjustments("2021", kQ2Name, xml);
        EXPECT_EQ(ReadOne(With("BOX3", "999.00")), nullptr) << xml;
    }
}

TEST_F(VatReturnFileTest, AdjustmentsBelongToTheirOwnReturnOnly) {
    builder.WriteAdjustments("2021", "VAT Return 01-01-2021 - 31-03-2021.xml",
                             AdjustmentsXml({{"0", {{"1.00", "0"}}}}));
    builder.WriteAdjustments("2020", kQ2Name, AdjustmentsXml({{"0", {{"1.00", "0"}}}}));
    const TSageDatasetVatReturn* r = ReadOne(With("BOX3", "999.00"));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->GetBox(1), Pounds(100));
}

TEST_F(VatReturnFileTest, AdjustmentsFolderIsFoundWhateverItsCaseTheExactNamePreferred) {
    const std::string upper = "VAT RETURN 01-04-2021 - 30-06-2021.xml";
    const std::string lower = "vat return 01-04-2021 - 30-06-2021.xml";
    builder.WriteAdjustments("2021", upper, AdjustmentsXml({{"0", {{"1.00", "0"}}}}));
    builder.WriteAdjustments("2021", lower, AdjustmentsXml({{"0", {{"3.00", "0"}}}}));
    builder.WriteAdjustments("2021", kQ2Name, AdjustmentsXml({{"0", {{"2.00", "0"}}}}));
    const TSageDatasetVatReturn* r = ReadOne(With("BOX3", "999.00"));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->GetBox(1), Pounds(102));
    std::filesystem::remove_all(builder.Folder() / "VATRTNS" / "_Data" /
                                ("2021-" + kQ2Name.substr(0, kQ2Name.size() - 4)));
    r = ReadOne(With("BOX3", "999.00"));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->GetBox(1), Pounds(101)) << "of two other spellings, the first in code-unit order";
}

TEST_F(VatReturnFileTest, AdjustmentsFolderWithoutAFileLeavesTheReturnAsRead) {
    const std::filesystem::path folder =
        builder.Folder() / "VATRTNS" / "_Data" / ("2021-" + kQ2Name.substr(0, kQ2Name.size() - 4));
    std::filesystem::create_directories(folder);
    const TSageDatasetVatReturn* r = ReadOne(With("BOX3", "999.00"));
    ASSERT_NE(r, nullptr) << "an empty adjustments folder";
    EXPECT_EQ(r->GetBox(1), Pounds(100));
    std::filesystem::create_directory(folder / "Adjustments.xml");
    r = ReadOne(With("BOX3", "999.00"));
    ASSERT_NE(r, nullptr) << "a folder named like the file";
    EXPECT_EQ(r->GetBox(1), Pounds(100));
}

// --- The record ---------------------------------------------------------------------------------

TEST(VatReturnRecord, TextsFollowTheFieldsAndTheDateSeparator) {
    TSageDatasetVatReturn r;
    EXPECT_EQ(r.Period(), u"30/12/1899 - 30/12/1899");
    r.SetDateFrom(EncodeDate(2021, 4, 1));
    r.SetDateTo(EncodeDate(2021, 6, 30));
    r.SetVatNumber(u"123456789");
    EXPECT_EQ(r.Description(), u"2021-06-30 2021-04-01 123456789");
    const rtl::TFormatSettings saved = rtl::FormatSettings();
    rtl::FormatSettings().DateSeparator = u'.';
    const rtl::UnicodeString period = r.Period();
    const rtl::UnicodeString description = r.Description();
    rtl::FormatSettings() = saved;
    EXPECT_EQ(period, u"01.04.2021 - 30.06.2021");
    EXPECT_EQ(description, u"2021-06-30 2021-04-01 123456789");
}

TEST(VatReturnRecord, BoxesOutsideOneToThirteenAreRefused) {
    TSageDatasetVatReturn r;
    r.SetBox(13, Currency::FromRaw(5));
    EXPECT_EQ(r.GetBox(13), Currency::FromRaw(5));
    EXPECT_THROW(r.GetBox(0), rtl::EArgumentOutOfRangeException);
    EXPECT_THROW(r.GetBox(14), rtl::EArgumentOutOfRangeException);
    EXPECT_THROW(r.SetBox(-1, Currency()), rtl::EArgumentOutOfRangeException);
}

} // namespace
