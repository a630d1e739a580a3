// The table model's row routines: AllocRow, FreeRow, RemoveAllRows,
// CheckFileWritable.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/Hooks.h"
#include "support/TableProbe.h"

namespace {

using qvtest::TableProbe;

// A row of no cells too: what insertRows makes.
TEST(TableRows, ANewRowIsReadWriteWithEveryCellEmpty) {
    for (LONG cells : {3, 0}) {
        TableProbe table(",", 3);
        ROWHEADER* row = nullptr;
        ASSERT_EQ(S_OK, table.AllocRow(cells, &row)) << cells;
        ASSERT_NE(nullptr, row);
        EXPECT_EQ(OSPRW_READWRITE, row->status);
        EXPECT_EQ(cells, row->cellCount);
        for (LONG i = 0; i < cells; ++i) EXPECT_TRUE(row->cells[i].IsEmpty()) << i;
        table.FreeRow(row);
    }
}

TEST(TableRows, AllocRowFailuresReportOutOfMemoryAndLeaveNothing) {
    qvtest::AllocFailureGuard guard;
    TableProbe table(",", 2);
    for (long nth = 1; nth <= 2; ++nth) {
        ROWHEADER* row = reinterpret_cast<ROWHEADER*>(1);
        qv::SetAllocFailure(nth);
        EXPECT_EQ(E_OUTOFMEMORY, table.AllocRow(2, &row)) << "allocation " << nth;
        EXPECT_EQ(nullptr, row);
    }
}

// A cell count whose cells take more bytes than a size_t holds is refused
// before anything is allocated. The limit stands in for the 32-bit size_t of
// the Windows build, where the product would wrap to a small block.
TEST(TableRows, AllocRowRefusesACellCountWhoseSizeOverflows) {
    qvtest::AllocFailureGuard guard;
    struct LimitGuard {
        LimitGuard() { qv::SetSizeLimit(0xFFFFFFFFu); }
        ~LimitGuard() { qv::SetSizeLimit(0); }
    } limit;
    TableProbe table(",", 0);
    ROWHEADER* row = reinterpret_cast<ROWHEADER*>(1);
    qv::SetAllocFailure(1);  // a row that asked for memory anyway gets none
    qv::ResetAllocCount();
    EXPECT_EQ(E_OUTOFMEMORY, table.AllocRow(0x20000000, &row)) << "2^29 cells of 8 bytes";
    EXPECT_EQ(nullptr, row);
    EXPECT_EQ(0, qv::AllocCount()) << "memory was asked for";
}

TEST(TableRows, RemoveAllRowsFreesEveryRowAndKeepsTheGrowBy) {
    TableProbe table(",", 2);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(S_OK, table.Parse("a,b"));
    table.RemoveAllRows();
    EXPECT_EQ(0, table.RowArray().GetSize());
    EXPECT_EQ(500, table.RowArray().GetGrowBy());
    table.RemoveAllRows();  // on an empty array too
    EXPECT_EQ(0, table.RowArray().GetSize());
}

class FileProbe : public TableProbe {
public:
    void SetFileName(const std::string& name) { boundPath_.Bind(qvtest::W(name).c_str()); }
    using VxASCOSPObject::CheckFileWritable;
};

TEST(TableRows, CheckFileWritableNeedsAnExistingRegularFileThatOpensForUpdate) {
    namespace fs = std::filesystem;
    qvtest::TempFolder folder;
    qvtest::WriteBytes(folder / "writable.txt", "a,b\n");
    qvtest::WriteBytes(folder / "read-only.txt", "a,b\n");
    fs::permissions(folder / "read-only.txt", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    struct Case {
        std::string path;
        HRESULT expected;
    } cases[] = {
        {(folder / "writable.txt").string(), S_OK},
        {(folder / "missing.txt").string(), E_FAIL},
        {(folder / "read-only.txt").string(), E_FAIL},  // also for root, who could open it
        {folder.Path().string(), E_FAIL},
#ifndef _WIN32
        {(folder / "pipe").string(), E_FAIL},
        {"/dev/null", E_FAIL},
#else
        {"NUL", E_FAIL},
#endif
    };
#ifndef _WIN32
    ASSERT_EQ(0, mkfifo((folder / "pipe").c_str(), 0666));
#endif
    for (const Case& c : cases) {
        FileProbe table;
        table.SetFileName(c.path);
        EXPECT_EQ(c.expected, table.CheckFileWritable()) << c.path;
    }
#ifdef _WIN32
    // Another program holds the file open for writing but not for deleting:
    // the replace that saves it could never take its place.
    HANDLE held = CreateFileW((folder / "writable.txt").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    FileProbe table;
    table.SetFileName((folder / "writable.txt").string());
    EXPECT_EQ(E_FAIL, table.CheckFileWritable()) << "held without delete sharing";
    CloseHandle(held);
#endif
    EXPECT_EQ("a,b\n", qvtest::ReadBytes(folder / "writable.txt")) << "the check neither truncates nor writes";
}

}  // namespace
