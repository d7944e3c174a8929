// Windows' own traps in dataset paths: device names, pipes, alternate streams, trimmed names. Each
// folder gives no dataset, says why, and costs no wait.
#include "sage_datasets/DatasetBuilder.h"
#include "sage_datasets/SageDatasetFactory.h"
#include "sage_datasets/SageLeftOut.h"
#include "rtl/Exceptions.h"
#include "rtl/Files.h"

#include <chrono>
#include <gtest/gtest.h>
#include "win32/WindowsForTests.h"

using namespace sagetest;

namespace {

class Win32HostileNames : public ::testing::Test {
protected:
    rtl::UnicodeString Path(const std::string& relative) const { return ToText(temp.Path() / relative); }
    TTempFolder temp;
    sage::TSageDatasetFactory factory;
    rtl::TStringList datasets{true};
};

TEST_F(Win32HostileNames, DeviceAndPipeFoldersAreLeftOutWithAReason) {
    // A pipe that answers to the name of a SETUP.DTA: opening it would connect, reading would wait.
    HANDLE pipe = ::CreateNamedPipeW(L"\\\\.\\pipe\\venturo\\ACCDATA\\SETUP.DTA", PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE,
                                     1, 0, 0, 0, nullptr);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    std::vector<rtl::UnicodeString> folders = {u"\\\\.\\pipe\\venturo", u"\\\\.\\pipe\\x", u"\\\\.\\NUL"};
    for (const char* name : {"CON", "NUL", "COM1", "AUX", "CONIN$", "Company.001:x", "Company.001.", "Company.001 "})
        folders.push_back(Path(name));
    const auto started = std::chrono::steady_clock::now();
    std::string company;
    for (const rtl::UnicodeString& folder : folders) {
        sage::TSageLeftOut whyNot;
        EXPECT_EQ(factory.MakeDatasetAndLoad(folder, &whyNot), nullptr) << rtl::StringToUtf8(folder);
        EXPECT_EQ(whyNot.Path, folder);
        EXPECT_FALSE(whyNot.Reason.empty()) << rtl::StringToUtf8(folder);
        company += rtl::StringToUtf8(folder) + "\r\n";
    }
    WriteBytes(temp.Path() / "COMPANY", company);
    EXPECT_EQ(factory.AddDatasetFromCompanyFile(datasets, Path("COMPANY")), 0);
    EXPECT_EQ(datasets.Count(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
    ::CloseHandle(pipe);
}

TEST_F(Win32HostileNames, ACompanyFileThatIsADeviceIsRefused) {
    for (const char* name : {"NUL", "CON", "COMPANY:x"}) {
        rtl::TStringList locations;
        EXPECT_THROW(factory.AddDatasetFromCompanyFile(datasets, Path(name)), rtl::EFOpenError) << name;
    }
    EXPECT_THROW(factory.AddDatasetFromCompanyFile(datasets, u"\\\\.\\pipe\\venturo-none"), rtl::EFOpenError);
}

} // namespace
