// Saves that fail: whatever the cause (read-only or locked data file, full disk, no memory, a row that cannot be
// written), the data file keeps every byte; no temporary file remains, except new contents written whole that
// could not take the data file's place, which are kept under a name that says so.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

#include "support/ChildProcess.h"
#include "support/Environment.h"
#include "support/Hooks.h"
#include "support/TableProbe.h"

namespace qvtest {
namespace {

const char kOriginal[] = "a,b\nc,d\n";

class SaveFailure : public ::testing::Test {
protected:
    SaveFailure() : tempDirectory_(temp_.Path()) {}
    fs::path File() const { return data_ / "t.txt"; }
    void OpenAndChange(const std::string& option = "") {
        ASSERT_EQ(S_OK, OpenBytes(File(), kOriginal, option, ref_));
        ref_->StoreText(1, 1, W("changed"));
    }
    // The save failed with hr and left everything as it was.
    void ExpectUntouched(HRESULT expected, HRESULT hr, const std::string& what) {
        EXPECT_EQ(expected, hr) << what;
        EXPECT_TRUE(ref_->Modified()) << what;
        EXPECT_EQ(kOriginal, ReadBytes(File())) << what;
        EXPECT_EQ(std::vector<std::string>{}, Entries(temp_.Path())) << what;
        EXPECT_EQ(std::vector<std::string>{"t.txt"}, Entries(data_.Path())) << what;
    }
    TempFolder data_, temp_;
    ScopedTempDirectory tempDirectory_;
    TableRef ref_;
};

TEST_F(SaveFailure, ReadOnlyDataFile) {
    OpenAndChange();
    fs::permissions(File(), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    ExpectUntouched(E_FAIL, ref_->SaveToFile(), "read-only");
    {
        SaveInterface saver(ref_.table);
        ExpectUntouched(E_FAIL, saver->save(), "read-only, saved on request");
        EXPECT_TRUE(saver.Modified());
        EXPECT_EQ("0", saver.Kept());
    }
    // Destruction tries again, silently, with the same outcome.
    ref_.Reset();
    EXPECT_EQ(kOriginal, ReadBytes(File()));
}

#ifndef _WIN32
// A rename would put the file in place of whatever now holds its name.
TEST_F(SaveFailure, DataFileReplacedByANamedPipe) {
    OpenAndChange();
    fs::remove(File());
    ASSERT_EQ(0, mkfifo(File().c_str(), 0666));
    EXPECT_EQ(E_FAIL, ref_->SaveToFile());
    EXPECT_TRUE(fs::is_fifo(File()));
    EXPECT_EQ(std::vector<std::string>{}, Entries(temp_.Path()));
    ref_->MarkModified(false);
}
#endif

// Every write and flush (or allocation) in turn, from the first'th, fails;
// the save that finally meets no failure must succeed.
void FailEachInTurn(const std::function<void(HRESULT, const std::string&)>& untouched, TableProbe* table,
                    const fs::path& file, const std::string& expected, long first = 1,
                    void (*fail)(long) = qv::SetWriteFailure, long fewest = 3) {
    WriteFailureGuard writes;
    AllocFailureGuard allocations;
    HRESULT hr = E_FAIL;
    long n = first;
    for (; n < 100; ++n) {
        fail(n);
        hr = table->SaveToFile();
        fail(0);
        if (SUCCEEDED(hr)) break;
        untouched(hr, "failure " + std::to_string(n));
    }
    EXPECT_EQ(S_OK, hr);
    EXPECT_GE(n, fewest) << "fewer failure points than a save has (a write and a flush, or an allocation)";
    EXPECT_EQ(expected, ReadBytes(file));
}

TEST_F(SaveFailure, DiskFullOnAnyWriteOrFlush) {
    // Wide enough for several blocks.
    std::string big(3 << 20, 'x');
    ASSERT_EQ(S_OK, OpenBytes(File(), kOriginal, "", ref_));
    ref_->StoreText(1, 2, W(big));
    FailEachInTurn([&](HRESULT hr, const std::string& what) { ExpectUntouched(E_FAIL, hr, what); }, ref_.table, File(),
                   "\"a\",\"" + big + "\"\r\n\"c\",\"d\"\r\n");
}

TEST_F(SaveFailure, DiskFullWhileCopyingAcrossVolumes) {
    fs::path other = OtherVolume();
    if (other.empty()) GTEST_SKIP() << "no folder on another volume";
    TempFolder temp(other);
    {
        ScopedTempDirectory onOtherVolume(temp.Path());
        OpenAndChange();
        const std::string saved = "\"changed\",\"b\"\r\n\"c\",\"d\"\r\n";
        int keptTimes = 0;
        auto untouched = [&](HRESULT hr, const std::string& what) {
            EXPECT_EQ(E_FAIL, hr) << what;
            EXPECT_EQ(kOriginal, ReadBytes(File())) << what;
            // A copy beside the data file that fails keeps the whole new
            // contents where they were written.
            std::vector<std::string> kept = EntriesStartingWith(temp.Path(), "t.txt.unsaved-");
            EXPECT_EQ(kept, Entries(temp.Path())) << what;
            EXPECT_LE(kept.size(), 1u) << what;
            for (const std::string& name : kept) {
                EXPECT_EQ(saved, ReadBytes(temp / name)) << what;
                fs::remove(temp / name);
                ++keptTimes;
            }
            EXPECT_EQ(std::vector<std::string>{"t.txt"}, Entries(data_.Path())) << what;
        };
        long first = 1;
#ifndef _WIN32
        // The temporary volume full at the first write costs no edit: the
        // file moves beside the data file and the save goes on there.
        {
            WriteFailureGuard guard;
            qv::SetWriteFailure(1);
            EXPECT_EQ(S_OK, ref_->SaveToFile());
            EXPECT_EQ(saved, ReadBytes(File()));
            EXPECT_EQ(std::vector<std::string>{}, Entries(temp.Path()));
            EXPECT_EQ(std::vector<std::string>{"t.txt"}, Entries(data_.Path()));
            WriteBytes(File(), kOriginal);
            ref_->MarkModified();
            first = 2;
        }
#endif
        FailEachInTurn(untouched, ref_.table, File(), saved, first);
        EXPECT_GT(keptTimes, 0) << "no failed copy kept the new contents";
    }
}

#ifndef _WIN32
// Real file systems that cannot take the save: a small memory file system,
// full or made read-only after the table was opened and edited, under the
// data file, under the temporary folder, or both. A save that cannot be
// finished leaves every byte and no file behind; a temporary folder that
// cannot take the file costs no edit, as the file is then written beside the
// data file. New contents written whole that cannot take the data file's
// place are kept, beside it where its folder takes them, else where they were
// written, one file for each try (the save and the release). Where the
// interface can tell the client (the first edit, a new open) it does; a
// release cannot.
TEST_F(SaveFailure, FullOrReadOnlyFileSystem) {
    enum How { kTooSmall, kFilled, kReadOnly, kFolderImmutable, kFileImmutable };
    enum Kept { kNone, kBesideFile, kInTemp };
    struct Case {
        const char* what;
        bool fileOnIt, tempOnIt;  // the data file, the temporary folder lie on the small file system
        How how;
        HRESULT save;
        Kept kept;
    } const cases[] = {
        {"file and temporaries on a file system too small for the new contents", true, true, kTooSmall, E_FAIL, kNone},
        {"file and temporaries on a file system filled to the last block", true, true, kFilled, E_FAIL, kNone},
        {"file on a full file system, temporaries on the disk", true, false, kTooSmall, E_FAIL, kInTemp},
        {"temporaries on a full file system, file on the disk", false, true, kFilled, S_OK, kNone},
        {"temporaries on a file system too small for the new contents, file on the disk", false, true, kTooSmall, S_OK,
         kNone},
        {"file and temporaries on a read-only file system", true, true, kReadOnly, E_FAIL, kNone},
        {"temporaries on a read-only file system, file on the disk", false, true, kReadOnly, S_OK, kNone},
        {"file on a file system made read-only after the edit, temporaries on the disk", true, false, kReadOnly, E_FAIL,
         kInTemp},
        {"file's folder made immutable after the edit, temporaries on the disk", true, false, kFolderImmutable, E_FAIL,
         kInTemp},
        {"file's folder made immutable after the edit, temporaries beside it", true, true, kFolderImmutable, E_FAIL,
         kInTemp},
        {"file made immutable after the edit, temporaries on the disk", true, false, kFileImmutable, E_FAIL,
         kBesideFile},
    };
    const std::string big(1 << 20, 'x');  // four times what the small file system holds
    for (const Case& c : cases) {
        TempFolder mountPoint(data_.Path().parent_path());
        int outcome = OnOwnMemoryFileSystem(mountPoint.Path(), 256 << 10, [&] {
            const fs::path data = c.fileOnIt ? mountPoint / "data" : data_.Path();
            // A folder of the case's own: what a case keeps stays apart.
            const fs::path temp = c.tempOnIt ? mountPoint / "temp" : temp_ / std::to_string(&c - cases);
            fs::create_directories(data);
            fs::create_directories(temp);
            ScopedTempDirectory redirected(temp);
            const fs::path file = data / "t.txt";
            TableRef edited, unedited;
            ASSERT_EQ(S_OK, OpenBytes(file, kOriginal, "", edited));
            ASSERT_EQ(S_OK, TableProbe::Open(file.string(), &unedited.table));
            ASSERT_EQ(S_OK, edited->Edit(1, 1, W("changed")));
            std::string saved = "\"changed\",\"b\"\r\n\"c\",\"d\"\r\n";
            if (c.how == kTooSmall) {
                edited->StoreText(2, 2, W(big));
                saved = "\"changed\",\"b\"\r\n\"c\",\"" + big + "\"\r\n";
            } else if (c.how == kFilled) {
                FILE* filler = std::fopen((mountPoint / "filler").c_str(), "wb");
                ASSERT_NE(nullptr, filler);
                while (std::fwrite(big.data(), 1, 4096, filler) == 4096 && std::fflush(filler) == 0) {
                }
                std::fclose(filler);
            } else if (c.how == kFolderImmutable || c.how == kFileImmutable) {
                if (!SetImmutable(c.how == kFolderImmutable ? data : file, true)) {
                    edited->MarkModified(false);
                    std::printf("skipped (no immutable flag here): %s\n", c.what);
                    return;
                }
            } else {
                ASSERT_TRUE(MountReadOnly(mountPoint.Path()));
                if (c.fileOnIt) {
                    // The client hears of it at the first edit and at a new open.
                    EXPECT_EQ(E_FAIL, unedited->Edit(1, 1, W("refused"))) << c.what;
                    TableRef late;
                    EXPECT_EQ(ASC_E_FILEACCESS, TableProbe::Open(file.string(), &late.table)) << c.what;
                }
            }
            std::string told;
            {
                // On request, the save tells its result and what it kept.
                SaveInterface saver(edited.table);
                EXPECT_EQ(c.save, saver->save()) << c.what;
                EXPECT_EQ(c.save != S_OK, saver.Modified()) << c.what;
                told = saver.Kept();
            }
            // The release does not try again what the save on request kept
            // aside, with no edit since: one kept file, not two.
            edited.Reset();
            const std::string now = ReadBytes(file);
            EXPECT_TRUE(now == (c.save == S_OK ? saved : std::string(kOriginal)))
                << c.what << ": the file holds " << now.size() << " bytes";
            std::vector<std::string> besideFile = EntriesStartingWith(data, "t.txt.unsaved-");
            std::vector<std::string> inTemp = EntriesStartingWith(temp, "t.txt.unsaved-");
            EXPECT_EQ(c.kept == kBesideFile ? 1u : 0u, besideFile.size()) << c.what;
            EXPECT_EQ(c.kept == kInTemp ? 1u : 0u, inTemp.size()) << c.what;
            if (c.kept == kNone) {
                EXPECT_EQ(std::to_string(VXKEPT_NOTHING), told) << c.what;
            }
            for (const std::string& name : besideFile)
                EXPECT_EQ(std::to_string(VXKEPT_UNSAVED) + " " + (data / name).string(), told) << c.what;
            for (const std::string& name : inTemp)
                EXPECT_EQ(std::to_string(VXKEPT_UNSAVED) + " " + (temp / name).string(), told) << c.what;
            for (const std::string& name : besideFile) EXPECT_TRUE(saved == ReadBytes(data / name)) << c.what;
            for (const std::string& name : inTemp) EXPECT_TRUE(saved == ReadBytes(temp / name)) << c.what;
            besideFile.insert(besideFile.begin(), "t.txt");
            EXPECT_EQ(besideFile, Entries(data)) << c.what;
            EXPECT_EQ(inTemp, Entries(temp)) << c.what;
        });
        if (outcome == kChildCannot) GTEST_SKIP() << "cannot mount a file system of the test's own here";
        EXPECT_EQ(0, outcome) << c.what;
    }
}
#endif

TEST_F(SaveFailure, OutOfMemoryAtEachAllocation) {
    OpenAndChange();
    FailEachInTurn([&](HRESULT hr, const std::string& what) { ExpectUntouched(E_OUTOFMEMORY, hr, what); }, ref_.table,
                   File(), "\"changed\",\"b\"\r\n\"c\",\"d\"\r\n", 1, qv::SetAllocFailure, 2);
}

TEST_F(SaveFailure, RowThatCannotReadBack) {
    OpenAndChange();
    ref_->StoreText(2, 1, W("two\nlines"));
    ExpectUntouched(E_FAIL, ref_->SaveToFile(), "line feed in a value");
}

#if QUORVEL_SECOND_BUILD
TEST_F(SaveFailure, TwoFilledCellsWithoutDelimiter) {
    ASSERT_EQ(S_OK, OpenBytes(File(), kOriginal, "|k=", ref_));
    ASSERT_EQ(1, ref_->ColumnCount());
    ref_.Reset();
    // An empty file gives 100 columns, so a row can have a second cell.
    WriteBytes(File(), "");
    ASSERT_EQ(S_OK, TableProbe::Open(File().string() + "|k=", &ref_.table));
    ref_->AppendRow();
    ref_->StoreText(1, 1, W("a"));
    ref_->StoreText(1, 2, W("b"));
    EXPECT_EQ(E_FAIL, ref_->SaveToFile());
    EXPECT_EQ("", ReadBytes(File()));
    EXPECT_EQ(std::vector<std::string>{}, Entries(temp_.Path()));
}
#endif

#ifdef _WIN32
TEST_F(SaveFailure, DataFileHeldOpenWithoutDeleteSharing) {
    OpenAndChange();
    HANDLE held = CreateFileA(File().string().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    HRESULT hr = ref_->SaveToFile();
    CloseHandle(held);
    // The new contents are kept beside it, and nothing else is left.
    std::vector<std::string> kept = EntriesStartingWith(data_.Path(), "t.txt.unsaved-");
    ASSERT_EQ(1u, kept.size());
    EXPECT_EQ("\"changed\",\"b\"\r\n\"c\",\"d\"\r\n", ReadBytes(data_ / kept[0]));
    fs::remove(data_ / kept[0]);
    ExpectUntouched(E_FAIL, hr, "held open");
    ref_->MarkModified(false);
}
#endif

}  // namespace
}  // namespace qvtest
