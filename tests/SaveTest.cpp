// Saving a table to its file: an unchanged table leaves the file alone; a
// changed one replaces it whole, keeping its permission bits, also across
// volumes, and leaves no temporary file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "FileTestSupport.h"

namespace qvtest {
namespace {

class Save : public ::testing::Test {
protected:
    Save() : tempDirectory_(temp_.Path()) { fs::create_directories(data_.Path()); }
    fs::path File() const { return data_ / "t.txt"; }
    // Neither the temporary directory nor the data file's folder holds anything else.
    void ExpectNoTemporaryFiles() {
        EXPECT_EQ(std::vector<std::string>{}, Entries(temp_.Path()));
        EXPECT_EQ(std::vector<std::string>{"t.txt"}, Entries(data_.Path()));
    }
    TempFolder data_, temp_;
    ScopedTempDirectory tempDirectory_;
    TableRef ref_;
};

TEST_F(Save, UnchangedTableKeepsBytesAndTimes) {
    const std::string bytes = "a,b\nunquoted \"q\"\r\nlast";
    WriteBytes(File(), bytes);
    fs::last_write_time(File(), fs::file_time_type::clock::now() - std::chrono::hours(48));
    auto past = fs::last_write_time(File());  // as the file system keeps it
    ASSERT_EQ(S_OK, FileTable::Open(File().string(), &ref_.table));
    EXPECT_EQ(E_FAIL, ref_->SaveToFile()) << "nothing to save";
    ref_.Reset();
    EXPECT_EQ(bytes, ReadBytes(File()));
    EXPECT_EQ(past, fs::last_write_time(File()));
    ExpectNoTemporaryFiles();
}

TEST_F(Save, ChangedTableIsRewrittenWhole) {
    ASSERT_EQ(S_OK, OpenBytes(File(), "a,b\nc\n\nlast", "", ref_));
    ref_->StoreText(2, 1, W("x\"y"));
    ASSERT_EQ(S_OK, ref_->SaveToFile());
    EXPECT_FALSE(ref_->Modified());
    EXPECT_EQ("\"a\",\"b\"\r\n\"x\"\"y\"\r\n\"\"\r\n\"last\"\r\n", ReadBytes(File()));
    ExpectNoTemporaryFiles();
}

TEST_F(Save, ReleasingAChangedTableSavesIt) {
    ASSERT_EQ(S_OK, OpenBytes(File(), "a;\xE9\x80\n", "|k=;", ref_));
    VARIANT number;
    number.vt = VT_I4;
    number.lVal = 42;
    ref_->Store(1, 1, number);
    ref_.Reset();
    EXPECT_EQ("\"42\";\"\xE9\x80\"\r\n", ReadBytes(File())) << "bytes above 0x7F come back as they were";
    ExpectNoTemporaryFiles();
}

TEST_F(Save, EmptyFileStaysLoadable) {
    ASSERT_EQ(S_OK, OpenBytes(File(), "", "", ref_));
    ref_->MarkModified();
    ASSERT_EQ(S_OK, ref_->SaveToFile());
    EXPECT_EQ("", ReadBytes(File()));
}

TEST_F(Save, DeletedDataFileIsWrittenAgain) {
    ASSERT_EQ(S_OK, OpenBytes(File(), "a\n", "", ref_));
    ref_->StoreText(1, 1, W("b"));
    fs::remove(File());
    ASSERT_EQ(S_OK, ref_->SaveToFile());
    EXPECT_EQ("\"b\"\r\n", ReadBytes(File()));
}

#ifndef _WIN32
TEST_F(Save, KeepsThePermissionBits) {
    ASSERT_EQ(S_OK, OpenBytes(File(), "a\n", "", ref_));
    ASSERT_EQ(0, chmod(File().c_str(), 0640));
    ref_->StoreText(1, 1, W("b"));
    ASSERT_EQ(S_OK, ref_->SaveToFile());
    struct stat info;
    ASSERT_EQ(0, stat(File().c_str(), &info));
    EXPECT_EQ(0640u, info.st_mode & 07777);
}

TEST_F(Save, SymbolicLinkStaysAndItsFileIsReplaced) {
    WriteBytes(data_ / "real.txt", "a\n");
    fs::create_symlink(data_ / "real.txt", File());
    ASSERT_EQ(S_OK, FileTable::Open(File().string(), &ref_.table));
    ref_->StoreText(1, 1, W("b"));
    ASSERT_EQ(S_OK, ref_->SaveToFile());
    EXPECT_TRUE(fs::is_symlink(File()));
    EXPECT_EQ("\"b\"\r\n", ReadBytes(data_ / "real.txt"));
}
#endif

TEST_F(Save, TemporaryDirectoryOnAnotherVolume) {
    fs::path other = OtherVolume();
    if (other.empty()) GTEST_SKIP() << "no folder on another volume";
    TempFolder temp(other);
    {
        ScopedTempDirectory onOtherVolume(temp.Path());
        ASSERT_EQ(S_OK, OpenBytes(File(), "a\n", "", ref_));
        ref_->StoreText(1, 1, W("moved"));
        EXPECT_EQ(S_OK, ref_->SaveToFile());
    }
    EXPECT_EQ("\"moved\"\r\n", ReadBytes(File()));
    EXPECT_EQ(std::vector<std::string>{}, Entries(temp.Path()));
    EXPECT_EQ(std::vector<std::string>{"t.txt"}, Entries(data_.Path()));
}

}  // namespace
}  // namespace qvtest
