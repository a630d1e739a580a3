// Loading a file into rows: line rules, the one- and two-pass column count,
// the placeholder row and access failures (its allocation failures are the
// allocation sweep's getDataMember).
#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "support/Hooks.h"
#include "support/TableProbe.h"
#include "table/VxLineReader.h"

namespace qvtest {
namespace {

typedef std::vector<std::string> Cells;

class Loader : public ::testing::Test {
protected:
    HRESULT Load(const std::string& bytes, const std::string& option = "") {
        ref_.Reset();
        return OpenBytes(folder_ / "t.txt", bytes, option, ref_);
    }
    TempFolder folder_;
    TableRef ref_;
};

// A file that starts with a Ctrl-Z is empty too.
TEST_F(Loader, EmptyFileHasOnlyThePlaceholderOf100Columns) {
    for (const char* bytes : {"",
                              "\x1A"
                              "a,b\n"}) {
        ASSERT_EQ(S_OK, Load(bytes));
        EXPECT_EQ(0, ref_->Rows());
        EXPECT_EQ(100, ref_->ColumnCount());
        Cells placeholder = ref_->Cells(0);
        EXPECT_EQ("", placeholder[0]);
        EXPECT_EQ(Cells(99, "<empty>"), Cells(placeholder.begin() + 1, placeholder.end()));
    }
}

TEST_F(Loader, LineBreaksCtrlZRawBytesLongLinesAndManyRows) {
    // The CR of a line ends the first (small) block; a line spans blocks.
    const std::string first(VxLineReader::kFirstBlockSize - 1, 'x'), second(3 * VxLineReader::kBlockSize, 'y');
    std::string many;
    std::vector<Cells> manyRows;
    for (int i = 0; i < 2500; ++i) {
        many += std::to_string(i) + "\n";
        manyRows.push_back({std::to_string(i)});
    }
    struct Case {
        std::string bytes;
        std::vector<Cells> rows;
    } cases[] = {
        {"a,b", {{"a", "b"}}},  // a final line without a line break is a row
        {"a\nb", {{"a"}, {"b"}}},
        {"a\nb\n", {{"a"}, {"b"}}},  // the empty remainder after the last line break is no line
        {"\n", {{""}}},
        {"\r\n", {{""}}},
        {"a\r\nb\nc\r\n", {{"a"}, {"b"}, {"c"}}},
        {"a\rb\n", {{"a\rb"}}},          // a lone CR is data
        {"a\r\r\nb", {{"a\r"}, {"b"}}},  // only the CR before LF belongs to the break
        {"x\r", {{"x\r"}}},              // a final CR without LF stays
        {"a,b\nc\x1A"
         "d\ne\n",
         {{"a", "b"}, {"c", "<empty>"}}},
        {"a\n\x1Ajunk\n", {{"a"}}},
        // A Ctrl-Z in the first block ends the file however far it goes on.
        {"a\nc\x1A" + std::string(VxLineReader::kFirstBlockSize, 'x') + "\nb,d\n", {{"a"}, {"c"}}},
        {std::string("n\0l,z\n", 6), {{std::string("n\0l", 3), "z"}}},
        {"\xEF\xBB\xBF"
         "a,\xE9\x80\x9F\n",
         {{"\xEF\xBB\xBF"
           "a",
           "\xE9\x80\x9F"}}},
        {"\"a,b\",c\n", {{"a,b", "c"}}},
        {first + "\r\n" + second + ",z\n", {{first, "<empty>"}, {second, "z"}}},
        {many, manyRows},
    };
    for (const Case& c : cases) {
        const std::string start = c.bytes.substr(0, 40);
        ASSERT_EQ(S_OK, Load(c.bytes)) << start;
        ASSERT_EQ(static_cast<LONG>(c.rows.size()), ref_->Rows()) << start;
        for (size_t r = 0; r < c.rows.size(); ++r) ASSERT_EQ(c.rows[r], ref_->Cells(static_cast<int>(r + 1))) << start;
    }
}

// Generated files of the bytes that matter, under several delimiter sets, load
// as the plain reading of ReferenceLoader.h reads them: rows (the estimate
// too), column count, every cell, and the placeholder.
TEST_F(Loader, MatchesThePlainReadingOnGeneratedFiles) {
    const char alphabet[] = {',', ';', '"', 'x', '\r', '\n', '\n', '\x1A', '\0', '\xE9', ' '};
    unsigned seed = 2024;
    auto next = [&seed](unsigned below) { return ((seed = seed * 1103515245 + 12345) >> 16) % below; };
    for (int n = 0; n < 300; ++n) {
        std::string bytes;
        unsigned length = next(40);
        for (unsigned i = 0; i < length; ++i) bytes += alphabet[next(sizeof alphabet)];
        for (const char* delimiters : {",", ";,", "\r", "\xE9x"}) {
            ReferenceTable expected = ReferenceLoad(bytes, W(delimiters));
            ASSERT_EQ(S_OK, Load(bytes, std::string("|k=") + delimiters));
            DBROWCOUNT count = -1, estimated = -1;
            DB_LORDINAL columns = -1;
            ASSERT_TRUE(ref_->getRowCount(&count) == S_OK && ref_->getEstimatedRows(&estimated) == S_OK &&
                        ref_->getColumnCount(&columns) == S_OK);
            ASSERT_EQ(static_cast<DBROWCOUNT>(expected.rows.size()), count) << "[" << bytes << "]";
            ASSERT_EQ(count, estimated) << "[" << bytes << "]";
            ASSERT_EQ(expected.columns, columns) << "[" << bytes << "]";
            std::vector<Cells> rows(expected.rows.begin(), expected.rows.end());
            rows.insert(rows.begin(), rows.empty() ? Cells{""} : rows.front());  // the placeholder
            for (size_t r = 0; r < rows.size(); ++r) {
                rows[r].resize(static_cast<size_t>(expected.columns), "<empty>");
                EXPECT_EQ(rows[r], ref_->Cells(static_cast<int>(r))) << "[" << bytes << "] row " << r;
            }
        }
    }
}

TEST_F(Loader, WiderLaterLineGivesTheWidestColumnCount) {
    ASSERT_EQ(S_OK, Load("a,b,c\n1,2,3,4,5\nx,y\n"));
    EXPECT_EQ(5, ref_->ColumnCount());
    EXPECT_EQ((Cells{"a", "b", "c", "<empty>", "<empty>"}), ref_->Cells(1));
    EXPECT_EQ((Cells{"x", "y", "<empty>", "<empty>", "<empty>"}), ref_->Cells(3));
    EXPECT_EQ((Cells{"a", "b", "c", "<empty>", "<empty>"}), ref_->Cells(0));
    // Each row holds its own fields only, however wide the widest line.
    EXPECT_EQ(3, ref_->CellsHeld(0));
    EXPECT_EQ(5, ref_->CellsHeld(2));
    EXPECT_EQ(2, ref_->CellsHeld(3));

    ASSERT_EQ(S_OK, Load("1,2,3,4,5\na,b,c\nx,y\n"));
    EXPECT_EQ(5, ref_->ColumnCount());
    EXPECT_EQ(3, ref_->Rows());
}

// A field longer than a BSTR can be (2^31 characters) fails the load rather
// than be cut to its length's low 31 bits. The lowered limit stands in for
// 2^31.
TEST_F(Loader, AFieldLongerThanAStringCanBeFailsTheLoad) {
    AllocFailureGuard guard;
    const std::string longest(5000, 'x');
    qv::SetBstrLengthLimit(longest.size());
    const struct {
        std::string bytes;
        HRESULT expected;
    } cases[] = {
        {"a," + longest + "\n", S_OK},
        {"\"" + longest + "\",b\n", S_OK},
        {"a\n" + longest + "x,b\n", E_FAIL},
        {"a\n\"" + longest + "\"\"\"\n", E_FAIL},  // unquoted, one character longer
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, Load(c.bytes)) << c.bytes.substr(0, 8);
        if (c.expected == S_OK)
            EXPECT_EQ(longest, ref_->Cells(1)[c.bytes[0] == 'a' ? 1 : 0]);
        else
            EXPECT_EQ(nullptr, ref_.table);
    }
}

TEST_F(Loader, PlaceholderIsASeparateCopy) {
    ASSERT_EQ(S_OK, Load("a,b\n"));
    ref_->StoreText(1, 1, W("changed"));
    EXPECT_EQ((Cells{"a", "b"}), ref_->Cells(0));
}

TEST_F(Loader, UnusableFilesFailWithFileAccess) {
    EXPECT_EQ(ASC_E_FILEACCESS, TableProbe::Open((folder_ / "missing.txt").string(), &ref_.table));
    EXPECT_EQ(ASC_E_FILEACCESS, TableProbe::Open(folder_.Path().string(), &ref_.table)) << "a folder";
    WriteBytes(folder_ / "ro.txt", "a\n");
    fs::permissions(folder_ / "ro.txt", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    EXPECT_EQ(ASC_E_FILEACCESS, TableProbe::Open((folder_ / "ro.txt").string(), &ref_.table)) << "read-only";
#ifdef _WIN32
    HANDLE pipe =
        CreateNamedPipeA("\\\\.\\pipe\\quorvel-loader", PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 0, 0, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, pipe);
    for (const char* device : {"NUL", "CON", "\\\\.\\pipe\\quorvel-loader"})
        EXPECT_EQ(ASC_E_FILEACCESS, TableProbe::Open(device, &ref_.table)) << device;
    CloseHandle(pipe);
#else
    EXPECT_EQ(ASC_E_FILEACCESS, TableProbe::Open("/dev/null", &ref_.table)) << "a device";
#endif
    EXPECT_EQ(nullptr, ref_.table);
}

#ifndef _WIN32
// A named pipe opened for reading waits for a writer: the open must not.
TEST_F(Loader, NamedPipeFailsWithoutWaitingForAWriter) {
    fs::path pipe = folder_ / "pipe";
    ASSERT_EQ(0, mkfifo(pipe.c_str(), 0666));
    auto opened = std::async(std::launch::async, [&] { return TableProbe::Open(pipe.string(), &ref_.table); });
    if (opened.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        ADD_FAILURE() << "the open still waits after 10 s";
        int writer = open(pipe.c_str(), O_RDWR);  // lets it go on
        opened.wait();
        close(writer);
    }
    EXPECT_EQ(ASC_E_FILEACCESS, opened.get());
    EXPECT_EQ(nullptr, ref_.table);
}
#endif

}  // namespace
}  // namespace qvtest
