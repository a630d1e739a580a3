// The table model's row routines: AllocRow, FreeRow, RemoveAllRows,
// CheckFileWritable.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "TestSupport.h"

namespace {

using qvtest::TableProbe;

TEST(TableRows, ANewRowIsReadWriteWithEveryCellEmpty) {
    TableProbe table(",", 3);
    ROWHEADER* row = nullptr;
    ASSERT_EQ(S_OK, table.AllocRow(3, &row));
    ASSERT_NE(nullptr, row);
    EXPECT_EQ(OSPRW_READWRITE, row->status);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(VT_EMPTY, row->cells[i].vt) << i;
    table.FreeRow(row);
}

TEST(TableRows, ARowOfNoCellsIsMadeAndFreed) {
    TableProbe table(",", 0);
    ROWHEADER* row = nullptr;
    ASSERT_EQ(S_OK, table.AllocRow(0, &row));
    table.FreeRow(row);
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
    EXPECT_EQ(E_OUTOFMEMORY, table.AllocRow(0x10000000, &row)) << "2^28 cells of 16 or 24 bytes";
    EXPECT_EQ(nullptr, row);
    EXPECT_EQ(0, qv::AllocCount()) << "memory was asked for";
}

// The token that keeps the library loaded is the first member, so it goes
// last: DllCanUnloadNow cannot answer S_OK while a member's destructor still
// runs library code.
TEST(TableRows, TheLiveObjectTokenIsTheLastMemberToGo) {
    TableProbe table;
    EXPECT_TRUE(table.TokenIsFirst());
}

TEST(TableRows, RemoveAllRowsFreesEveryRowAndKeepsTheGrowBy) {
    TableProbe table(",", 2);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(S_OK, table.Parse("a,b"));
    table.RemoveAllRows();
    EXPECT_EQ(0, table.Rows().GetSize());
    EXPECT_EQ(500, table.Rows().GetGrowBy());
    table.RemoveAllRows();  // on an empty array too
    EXPECT_EQ(0, table.Rows().GetSize());
}

class FileProbe : public TableProbe {
public:
    void SetFileName(const std::string& name) { name.copy(fileName_, sizeof fileName_ - 1); }
    using VxASCOSPObject::CheckFileWritable;
};

TEST(TableRows, CheckFileWritableNeedsAnExistingFileThatOpensForUpdate) {
    const std::string name = ::testing::TempDir() + "qv_check_writable.txt";
    std::remove(name.c_str());
    FileProbe table;
    table.SetFileName(name);
    EXPECT_EQ(E_FAIL, table.CheckFileWritable()) << "missing file";
    std::FILE* file = std::fopen(name.c_str(), "wb");
    ASSERT_NE(nullptr, file);
    std::fputs("a,b\n", file);
    std::fclose(file);
    EXPECT_EQ(S_OK, table.CheckFileWritable());
    file = std::fopen(name.c_str(), "rb");
    char content[16] = {};
    EXPECT_EQ(4u, std::fread(content, 1, sizeof content, file)) << "the check neither truncates nor writes";
    std::fclose(file);
    namespace fs = std::filesystem;
    fs::permissions(name, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_EQ(E_FAIL, table.CheckFileWritable()) << "read-only, also for root, who could open it";
    fs::permissions(name, fs::perms::owner_read | fs::perms::owner_write);
    std::remove(name.c_str());
}

}  // namespace
