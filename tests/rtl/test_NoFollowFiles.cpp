// Removal and appending that never follow a link, with real links in temporary folders.
#include "rtl/NoFollowFiles.h"

#include "TempFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using orvitest::TTempFolder;

using orvitest::ReadText;
using orvitest::WriteText;

TEST(NoFollowFilesTest, ATreeGoesWithItsLinksButNothingTheyPointAt) {
    TTempFolder tmp;
    WriteText(tmp.Path() / "outside" / "keep.txt", "keep");
    WriteText(tmp.Path() / "tree" / "a" / "b" / "file.txt", "x");
    fs::create_directory_symlink(tmp.Path() / "outside", tmp.Path() / "tree" / "folder link");
    fs::create_symlink(tmp.Path() / "outside" / "keep.txt", tmp.Path() / "tree" / "a" / "file link");
    EXPECT_EQ(rtl::RemoveFolderTree(tmp.Text(u"tree")), rtl::TRemoveTreeResult::rtRemoved);
    EXPECT_FALSE(fs::exists(fs::symlink_status(tmp.Path() / "tree")));
    EXPECT_EQ(ReadText(tmp.Path() / "outside" / "keep.txt"), "keep");
    EXPECT_EQ(rtl::RemoveFolderTree(tmp.Text(u"tree")), rtl::TRemoveTreeResult::rtAbsent);

    // The folder's own name a link, or a file: left as it is.
    fs::create_directory_symlink(tmp.Path() / "outside", tmp.Path() / "linked");
    EXPECT_EQ(rtl::EntryKindNoFollow(tmp.Text(u"linked")), rtl::TEntryKind::ekLink);
    EXPECT_EQ(rtl::RemoveFolderTree(tmp.Text(u"linked")), rtl::TRemoveTreeResult::rtForeign);
    EXPECT_FALSE(rtl::RemoveEmptyFolder(tmp.Text(u"linked")));
    EXPECT_EQ(rtl::RemoveFolderTree(tmp.Text(u"outside/keep.txt")), rtl::TRemoveTreeResult::rtForeign);
    EXPECT_EQ(ReadText(tmp.Path() / "linked" / "keep.txt"), "keep");
}

TEST(NoFollowFilesTest, AppendingCreatesPrivatelyAndRefusesLinksAndFifos) {
    TTempFolder tmp;
    const fs::path log = tmp.Path() / "log";
    EXPECT_TRUE(rtl::AppendToFileNoFollow(tmp.Text(u"log"), "one\n"));
    EXPECT_TRUE(rtl::AppendToFileNoFollow(tmp.Text(u"log"), "two\n"));
    EXPECT_EQ(ReadText(log), "one\ntwo\n");
    EXPECT_EQ(fs::status(log).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);

    WriteText(tmp.Path() / "target", "keep");
    fs::create_symlink(tmp.Path() / "target", tmp.Path() / "link");
    EXPECT_FALSE(rtl::AppendToFileNoFollow(tmp.Text(u"link"), "planted\n"));
    EXPECT_EQ(ReadText(tmp.Path() / "target"), "keep");
    ASSERT_EQ(::mkfifo((tmp.Path() / "fifo").c_str(), 0600), 0);
    EXPECT_FALSE(rtl::AppendToFileNoFollow(tmp.Text(u"fifo"), "stalls?\n"));
}

} // namespace
