#include "sage_datasets/DatasetBuilder.h"
#include "sage_datasets/SageSetupDTA.h"

#include "rtl/Files.h"

#include <gtest/gtest.h>

#include <cstring>

namespace fs = std::filesystem;
using sage::TSageSetupDTA;
using namespace sagetest;

namespace {

class SetupDtaTest : public ::testing::Test {
protected:
    // A SETUP.DTA of the given bytes in a fresh dataset folder; the reader is pointed at it.
    void UseBytes(std::string_view bytes) {
        dataset.WriteSetupBytes(bytes);
        reader.SetDatasetFolder(dataset.Text());
    }
    std::string FileBytes() { return ReadBytes(dataset.Folder() / "ACCDATA" / "SETUP.DTA"); }

    TTempFolder temp;
    TDatasetBuilder dataset{temp.Path() / "Acme"};
    TSageSetupDTA reader;
};

TEST_F(SetupDtaTest, FolderIsNormalisedFromTheAccDataFolderAndTrailingSeparators) {
    UseBytes("x");
    const rtl::UnicodeString folder = dataset.Text();
    TSageSetupDTA other;
    other.SetDatasetFolder(folder + rtl::PathDelim + u"AccData" + rtl::PathDelim + rtl::PathDelim);
    EXPECT_EQ(other.DatasetFolder(), folder);
    other.SetDatasetFolder(folder + rtl::PathDelim);
    EXPECT_EQ(other.DatasetFolder(), folder);
    EXPECT_EQ(other.ReadSpacePaddedString(0, 1), u"x");
}

TEST_F(SetupDtaTest, MissingFolderKeepsThePreviousValue) {
    TSageSetupDTA fresh;
    fresh.SetDatasetFolder(temp.Text() + u"/missing");
    EXPECT_TRUE(fresh.DatasetFolder().empty());
    UseBytes("x");
    reader.SetDatasetFolder(temp.Text() + u"/missing");
    EXPECT_EQ(reader.DatasetFolder(), dataset.Text());
}

TEST_F(SetupDtaTest, ReaderWithoutFolderOrFileReadsEmptyAndWritesNothing) {
    EXPECT_EQ(reader.ReadSpacePaddedString(0, 10), u"");
    EXPECT_EQ(reader.WriteSpacePaddedString(0, 4, u"ACME"), 0);
    fs::create_directories(dataset.Folder() / "ACCDATA");
    reader.SetDatasetFolder(dataset.Text());
    char buffer[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(reader.ReadSpacePaddedBytes(0, 4, buffer), 0);
    EXPECT_EQ(std::memcmp(buffer, "abcd", 4), 0) << "buffer left untouched";
    EXPECT_EQ(reader.WriteBytes(0, 4, "ACME"), 0);
    EXPECT_FALSE(fs::exists(dataset.Folder() / "ACCDATA" / "SETUP.DTA"));
}

TEST_F(SetupDtaTest, FieldValueEndsAtNulAndLosesTrailingSpaces) {
    UseBytes(std::string("ACME LTD") + std::string(52, ' ') + std::string("AB\0CD", 5) + "AB  " +
             std::string(6, '\0') + std::string(5, ' ') + std::string(5, '\0') + "  X Y  ");
    EXPECT_EQ(reader.ReadSpacePaddedString(0, 60), u"ACME LTD");
    EXPECT_EQ(reader.ReadSpacePaddedString(60, 5), u"AB");
    EXPECT_EQ(reader.ReadSpacePaddedString(65, 10), u"AB");
    EXPECT_EQ(reader.ReadSpacePaddedString(75, 5), u"");
    EXPECT_EQ(reader.ReadSpacePaddedString(80, 5), u"");
    EXPECT_EQ(reader.ReadSpacePaddedString(85, 7), u"  X Y") << "leading spaces are kept";
    EXPECT_EQ(reader.ReadSpacePaddedString(0, 0), u"");
}

TEST_F(SetupDtaTest, BytesBufferIsTerminatedInsideTheField) {
    UseBytes("AB  CD  ");
    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(reader.ReadSpacePaddedBytes(0, 8, buffer), 6);
    EXPECT_EQ(std::string(buffer, 8), std::string("AB  CD\0\0", 8));
}

TEST_F(SetupDtaTest, SingleByteVersionFieldCountsOnlyRealBytes) {
    for (const int byte : {0, 32, 1, 8, 30, 255}) {
        UseBytes(std::string(1, static_cast<char>(byte)));
        std::uint8_t buffer[2] = {0xEE, 0xEE};
        const int expected = (byte == 0 || byte == 32) ? 0 : 1;
        EXPECT_EQ(reader.ReadSpacePaddedBytes(0, 1, buffer), expected) << byte;
        if (expected == 1) {
            EXPECT_EQ(buffer[0], byte);
        }
        reader.Close();
    }
}

TEST_F(SetupDtaTest, FieldsAtAndBeyondTheEndOfTheFileReadWhatExists) {
    UseBytes("0123456789");
    EXPECT_EQ(reader.ReadSpacePaddedString(0, 10), u"0123456789");
    EXPECT_EQ(reader.ReadSpacePaddedString(5, 10), u"56789");
    EXPECT_EQ(reader.ReadSpacePaddedString(9, 1), u"9");
    EXPECT_EQ(reader.ReadSpacePaddedString(10, 1), u"");
    EXPECT_EQ(reader.ReadSpacePaddedString(11, 60), u"");
    EXPECT_EQ(reader.ReadSpacePaddedString(-5, 3), u"") << "a negative offset reads nothing";
    EXPECT_EQ(reader.ReadSpacePaddedString(0, -3), u"");
}

TEST_F(SetupDtaTest, FieldsOfAFileTooLargeToHoldAreReadFromTheFile) {
    std::string bytes(3 << 20, ' ');
    bytes.replace(3, 4, "Acme");
    bytes.replace((3 << 20) - 10, 4, "Tail");
    UseBytes(bytes);
    EXPECT_EQ(reader.ReadSpacePaddedString(3, 60), u"Acme");
    EXPECT_EQ(reader.ReadSpacePaddedString((3 << 20) - 10, 20), u"Tail");
    EXPECT_EQ(reader.ReadSpacePaddedString(3 << 20, 20), u"");
}

TEST_F(SetupDtaTest, AnOpenReaderKeepsTheFieldsAsTheyWereWhenOpened) {
    UseBytes(std::string("\x18") + "Acme" + std::string(60, ' '));
    EXPECT_EQ(reader.ReadSpacePaddedString(1, 4), u"Acme");
    dataset.WriteSetupBytes(std::string("\x18") + "Zeta" + std::string(60, ' '));
    EXPECT_EQ(reader.ReadSpacePaddedString(1, 4), u"Acme") << "one moment of the file";
    reader.Close();
    EXPECT_EQ(reader.ReadSpacePaddedString(1, 4), u"Zeta");
}

TEST_F(SetupDtaTest, EmptyFileReadsEmpty) {
    UseBytes("");
    std::uint8_t b[2] = {};
    EXPECT_EQ(reader.ReadSpacePaddedBytes(0, 1, b), 0);
    EXPECT_EQ(reader.ReadSpacePaddedString(3, 60), u"");
}

TEST_F(SetupDtaTest, BytesMapToTheCharactersOfTheSameCode) {
    UseBytes("Caf\xE9 \x80\xFF");
    EXPECT_EQ(reader.ReadSpacePaddedString(0, 7), u"Caf\u00E9 \u0080\u00FF");
}

TEST_F(SetupDtaTest, NulTerminatedFormFillsWithSpacesAndEndsWithNul) {
    UseBytes(std::string(100, 'z'));
    EXPECT_EQ(reader.WriteSpacePaddedNullTerminatedString(3, 61, u"ACME"), 61);
    reader.Close();
    const std::string bytes = FileBytes();
    EXPECT_EQ(bytes.substr(0, 3), "zzz");
    EXPECT_EQ(bytes.substr(3, 61), "ACME" + std::string(56, ' ') + std::string(1, '\0'));
    EXPECT_EQ(bytes.substr(64), std::string(36, 'z'));
}

TEST_F(SetupDtaTest, LongTextsAreCutToTheFieldWidth) {
    UseBytes(std::string(100, 'z'));
    const rtl::UnicodeString seventy(70, u'A');
    EXPECT_EQ(reader.WriteSpacePaddedString(10, 60, seventy), 60);
    EXPECT_EQ(reader.WriteSpacePaddedNullTerminatedString(0, 5, u"ABCDEFG"), 5);
    reader.Close();
    const std::string bytes = FileBytes();
    EXPECT_EQ(bytes.substr(0, 5), std::string("ABCD\0", 5));
    EXPECT_EQ(bytes.substr(10, 60), std::string(60, 'A'));
    EXPECT_EQ(bytes.substr(70), std::string(30, 'z'));
}

TEST_F(SetupDtaTest, NullPaddedFormAndCharacterTruncation) {
    UseBytes(std::string(20, 'z'));
    EXPECT_EQ(reader.WriteNullPaddedString(0, 6, u"\u00E9\u20AC"), 6);
    EXPECT_EQ(reader.ReadSpacePaddedString(0, 6), u"\u00E9\u00AC") << "reads use the write-mode stream";
    reader.Close();
    EXPECT_EQ(FileBytes().substr(0, 7), std::string("\xE9\xAC\0\0\0\0z", 7));
}

TEST_F(SetupDtaTest, FirstWriteAfterReadingReopensAndWritesAtTheRequestedOffset) {
    UseBytes(std::string(50, '.'));
    EXPECT_EQ(reader.ReadSpacePaddedString(30, 5), u".....");
    EXPECT_EQ(reader.WriteBytes(2, 3, "abc"), 3);
    EXPECT_EQ(reader.ReadSpacePaddedString(0, 6), u"..abc.");
    reader.Close();
    EXPECT_EQ(FileBytes(), ".." + std::string("abc") + std::string(45, '.'));
}

TEST_F(SetupDtaTest, FixedNamesAreFoundWhateverTheirCase) {
    dataset.WriteSetupBytes("Q", "AccData", "Setup.dta");
    reader.SetDatasetFolder(dataset.Text() + rtl::PathDelim + u"ACCDATA");
    EXPECT_EQ(reader.DatasetFolder(), dataset.Text());
    EXPECT_EQ(reader.ReadSpacePaddedString(0, 1), u"Q");
}

TEST_F(SetupDtaTest, ReadingNeverChangesTheFile) {
    const std::string bytes = MakeSetupDta({}, 27);
    UseBytes(bytes);
    for (int offset = 0; offset < 400; offset += 61) {
        reader.ReadSpacePaddedString(offset, 61);
    }
    reader.Close();
    EXPECT_EQ(FileBytes(), bytes);
}

} // namespace
