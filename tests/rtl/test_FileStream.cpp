#include "TempFolder.h"
#include "rtl/Exceptions.h"
#include "rtl/FileStream.h"
#include "rtl/Files.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>

using namespace rtl;
namespace fs = std::filesystem;

namespace {

class FileStreamTest : public ::testing::Test {
protected:
    void SetUp() override { _file = Utf8ToString((_root / "data.bin").string()); }
    std::string Contents() {
        TBytes b = ReadAllBytes(_file);
        return std::string(b.begin(), b.end());
    }
    orvitest::TTempFolder _folder;
    fs::path _root = _folder.Path();
    UnicodeString _file;
};

} // namespace

TEST_F(FileStreamTest, CreateWriteSeekRead) {
    {
        TFileStream fs(_file, TFileOpenMode::fmCreate);
        EXPECT_EQ(fs.Write("hello world", 11), 11);
        EXPECT_EQ(fs.Position(), 11);
        EXPECT_EQ(fs.Seek(-5, TSeekOrigin::soEnd), 6);
        char buf[8] = {};
        EXPECT_EQ(fs.Read(buf, 8), 5);
        EXPECT_EQ(std::string(buf, 5), "world");
        EXPECT_EQ(fs.Read(buf, 8), 0); // at the end
        EXPECT_EQ(fs.Seek(-1, TSeekOrigin::soBeginning), -1);
    }
    // fmCreate truncates an existing file.
    { TFileStream fs(_file, TFileOpenMode::fmCreate, TFileShareMode::fmShareExclusive); }
    EXPECT_EQ(Contents(), "");
}

TEST_F(FileStreamTest, ANameThatIsNotUtf8OpensTheFileOfThatName) {
    const UnicodeString file = Utf8ToString(_root.string()) + u"/" + NativeToString("r\xE9sum\xE9.bin");
    {
        TFileStream fs(file, TFileOpenMode::fmCreate);
        EXPECT_EQ(fs.Write("abc", 3), 3);
    }
    EXPECT_EQ(fs::file_size(_root / "r\xE9sum\xE9.bin"), 3u);
    TFileStream fs(file, TFileOpenMode::fmOpenRead);
    EXPECT_EQ(fs.Size(), 3);
}

TEST_F(FileStreamTest, OpenModesKeepTheirLimits) {
    WriteFileAtomic(_file, "0123456789");
    {
        TFileStream fs(_file, TFileOpenMode::fmOpenRead, TFileShareMode::fmShareDenyNone);
        EXPECT_EQ(fs.Write("x", 1), 0);
        EXPECT_EQ(fs.Size(), 10);
    }
    {
        TFileStream fs(_file, TFileOpenMode::fmOpenWrite);
        char c;
        EXPECT_EQ(fs.Read(&c, 1), 0); // a failed read answers 0
        fs.SetPosition(2);
        EXPECT_EQ(fs.Write("ab", 2), 2);
    }
    EXPECT_EQ(Contents(), "01ab456789"); // no truncation
    {
        TFileStream fs(_file, TFileOpenMode::fmOpenReadWrite, TFileShareMode::fmShareDenyWrite);
        fs.Seek(8, TSeekOrigin::soBeginning);
        fs.Write("XYZ", 3);
        fs.SetPosition(0);
        EXPECT_EQ(fs.ReadToEnd().size(), 11u);
    }
    EXPECT_EQ(Contents(), "01ab4567XYZ");
}

TEST_F(FileStreamTest, OpenFailuresNameTheFile) {
    UnicodeString missing = Utf8ToString((_root / "missing.dta").string());
    try {
        TFileStream fs(missing, TFileOpenMode::fmOpenRead);
        FAIL() << "opened a missing file";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Message(), u"Cannot open file \"" + missing + u"\". No such file or directory");
    }
    EXPECT_THROW(TFileStream(Utf8ToString(_root.string()), TFileOpenMode::fmOpenRead), EFOpenError);
    EXPECT_THROW(TFileStream(Utf8ToString((_root / "no" / "f").string()), TFileOpenMode::fmCreate),
                 EFCreateError);
}

TEST_F(FileStreamTest, AFifoIsRefusedAtOnceInsteadOfBlockingTheOpen) {
    ASSERT_EQ(::mkfifo((_root / "fifo").c_str(), 0600), 0);
    const UnicodeString fifo = Utf8ToString((_root / "fifo").string());
    EXPECT_THROW(TFileStream(fifo, TFileOpenMode::fmOpenRead, TFileShareMode::fmShareDenyNone), EFOpenError);
    EXPECT_THROW(TFileStream(fifo, TFileOpenMode::fmOpenReadWrite, TFileShareMode::fmShareDenyWrite),
                 EFOpenError);
}
