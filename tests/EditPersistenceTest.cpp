// Edits of a table opened from a real file: they reach the file when the last
// reference goes and not before; a table whose only change was deleting every
// row with -1 leaves its file alone; a file made read-only after loading, or in
// a folder that will not let it be replaced, fails the first edit only; an
// edit the file could not hold is refused, not lost.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/ChildProcess.h"
#include "support/CountingListeners.h"
#include "support/RecordingListener.h"
#include "support/TableProbe.h"

namespace qvtest {
namespace {

// Opens the file as a client's table, holding its one reference, or ends the test.
#define OPEN_OR_STOP(table, path) \
    TableProbe* table = nullptr;  \
    ASSERT_EQ(S_OK, TableProbe::Open(path, &table)) << "opening " << path

TEST(EditPersistence, EditsReachTheFileWhenTheLastReferenceGoesAndNotBefore) {
    const std::string original = "a,b\r\nc,d\r\ne,f\r\n";
    TempFile file(original);
    {
        OPEN_OR_STOP(table, file.Path());
        OwnedVariant x("x"), number = OwnedVariant::I4(42);
        ASSERT_EQ(S_OK, table->setVariant(1, 1, OSPFORMAT_RAW, x.v));
        ASSERT_EQ(S_OK, table->setVariant(3, 2, OSPFORMAT_RAW, number.v));
        DBROWCOUNT count = 0;
        ASSERT_EQ(S_OK, table->deleteRows(2, 1, &count));
        ASSERT_EQ(S_OK, table->insertRows(1, 1, &count));
        EXPECT_EQ(original, file.Read()) << "an edit reached the file before the release";
        table->AddRef();
        EXPECT_EQ(1u, table->Release());
        EXPECT_EQ(original, file.Read()) << "a release that was not the last wrote the file";
        EXPECT_EQ(0u, table->Release());
    }
    EXPECT_NE(original, file.Read()) << "the edits never reached the file";

    OPEN_OR_STOP(reopened, file.Path());
    // The inserted row was saved as an empty line, which reads back as one
    // empty field; a number is saved as its text.
    EXPECT_EQ((TableTexts{{""}, {"x", "b"}, {"e", "42"}}), ReadTable(reopened));
    reopened->Release();
}

// A client may close the table from inside a notification, releasing its only
// reference there: the edit under way still completes, the listeners hear its
// end, and the table is saved and freed as the method returns.
TEST(EditPersistence, ATableReleasedFromInsideANotificationFinishesTheEditThenSaves) {
    const std::string original = "a,b\r\nc,d\r\n";
    struct Case {
        const char* what;
        Call before, after;
        LONGLONG first, second;
        HRESULT (*edit)(OLEDBSimpleProvider*);
        std::string saved;
    } cases[] = {
        {"setVariant", Call::AboutToChangeCell, Call::CellChanged, 1, 2,
         [](OLEDBSimpleProvider* t) {
             OwnedVariant x("x");
             return t->setVariant(1, 2, OSPFORMAT_RAW, x.v);
         },
         "\"a\",\"x\"\r\n\"c\",\"d\"\r\n"},
        {"insertRows", Call::AboutToInsertRows, Call::InsertedRows, 2, 1,
         [](OLEDBSimpleProvider* t) {
             DBROWCOUNT n = 0;
             return t->insertRows(2, 1, &n);
         },
         "\"a\",\"b\"\r\n\r\n\"c\",\"d\"\r\n"},
        {"deleteRows", Call::AboutToDeleteRows, Call::DeletedRows, 1, 1,
         [](OLEDBSimpleProvider* t) {
             DBROWCOUNT n = 0;
             return t->deleteRows(1, 1, &n);
         },
         "\"c\",\"d\"\r\n"},
        {"deleteRows(-1)", Call::AboutToDeleteRows, Call::DeletedRows, -1, 2,
         [](OLEDBSimpleProvider* t) {
             DBROWCOUNT n = 0;
             return t->deleteRows(-1, 0, &n);
         },
         original},
    };
    for (const Case& c : cases) {
        TempFile file(original);
        OPEN_OR_STOP(table, file.Path());
        CallScript script;
        RecordingListener listener("L", script);
        ASSERT_EQ(S_OK, table->addOLEDBSimpleProviderListener(&listener)) << c.what;
        listener.Expect(c.before, c.first, c.second, S_OK, [&] { table->Release(); });
        listener.Expect(c.after, c.first, c.second);
        EXPECT_EQ(S_OK, c.edit(table)) << c.what;
        script.Verify();
        EXPECT_EQ(1, listener.Refs()) << c.what << ": the table is gone and its listener released";
        EXPECT_EQ(c.saved, file.Read()) << c.what;
    }
}

TEST(EditPersistence, DeletingEveryRowWithMinusOneLeavesTheFileUntouched) {
    const std::string original = "a,b\r\nc,d\r\n";
    TempFile file(original);
    auto before = std::filesystem::last_write_time(file.Path());
    {
        OPEN_OR_STOP(table, file.Path());
        DBROWCOUNT deleted = 0;
        ASSERT_EQ(S_OK, table->deleteRows(-1, 0, &deleted));
        DBROWCOUNT rows = -1;
        EXPECT_TRUE(deleted == 2 && table->getRowCount(&rows) == S_OK && rows == 0) << deleted << " " << rows;
        table->Release();
    }
    EXPECT_EQ(original, file.Read());
    EXPECT_TRUE(before == std::filesystem::last_write_time(file.Path())) << "the file was rewritten";
}

TEST(EditPersistence, AFileMadeReadOnlyAfterLoadingFailsTheFirstEditOnly) {
    const std::string original = "a,b\r\n";
    TempFile file(original);
    {
        OPEN_OR_STOP(table, file.Path());
        CountingListener listener(1);
        ASSERT_EQ(S_OK, table->addOLEDBSimpleProviderListener(&listener));
        file.MakeReadOnly();
        // What the listeners hear of the two edits: EditWriteCheck.
        EXPECT_EQ(E_FAIL, table->Edit(1, 1, W("x"))) << "first edit of a read-only file";
        EXPECT_EQ("a", CellText(table, 1, 1));
        EXPECT_EQ(S_OK, table->Edit(1, 1, W("x"))) << "the same edit again";
        EXPECT_EQ("x", CellText(table, 1, 1));
        // The save on release fails against the read-only file, silently, and
        // releases the listener all the same.
        table->Release();
        EXPECT_EQ(1, listener.refs.load());
    }
    file.MakeWritable();
    EXPECT_EQ(original, file.Read());
}

#ifndef _WIN32
// The save puts a new file in the old one's place, which the folder must
// allow: an edit whose save could never succeed is refused at once. Root is
// let through everywhere, so the edit is made as another user.
TEST(EditPersistence, AFolderThatWillNotLetTheFileBeReplacedFailsTheFirstEdit) {
    if (geteuid() != 0) GTEST_SKIP() << "only root can act as another user";
    struct Case {
        fs::perms folder;
        bool fileOfEditor;
        HRESULT expected;
        const char* what;
    } cases[] = {
        {fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec, false, E_FAIL, "folder not writable"},
        {fs::perms::all, false, S_OK, "folder writable by all"},
        {fs::perms::all | fs::perms::sticky_bit, false, E_FAIL, "sticky folder, another user's file"},
        {fs::perms::all | fs::perms::sticky_bit, true, S_OK, "sticky folder, the editor's own file"},
    };
    for (const Case& c : cases) {
        TempFolder folder;
        fs::path path = folder / "t.txt";
        WriteBytes(path, "a,b\r\n");
        ASSERT_EQ(0, chmod(path.c_str(), 0666));
        ASSERT_EQ(0, c.fileOfEditor ? chown(path.c_str(), kNobody, kNobody) : 0) << c.what;
        fs::permissions(folder.Path(), c.folder);
        OPEN_OR_STOP(table, path.string());
        OwnedVariant x("x");
        EXPECT_EQ(0, AsNobody([&] { return table->setVariant(1, 1, OSPFORMAT_RAW, x.v) == c.expected; })) << c.what;
        table->Release();
        EXPECT_EQ("a,b\r\n", ReadBytes(path)) << c.what;
    }
}
#endif

// Under a delimiter set that the writer cannot put between fields, a second
// field is refused at once: accepted, it would fail the save and lose every
// edit of the table with it.
TEST(EditPersistence, WithoutAWritableDelimiterEveryAcceptedEditReachesTheFile) {
    const Wide sets[] = {Wide{0x20AC}, W("\x1A"), W("\n")};
    for (const Wide& set : sets) {
        TempFile file("");
        TableProbe* table = nullptr;
        ASSERT_EQ(S_OK, TableProbe::Open(W(file.Path() + "|k=") + set, &table)) << "delimiter U+" << std::hex << set[0];
        DBROWCOUNT inserted = 0;
        ASSERT_EQ(S_OK, table->insertRows(1, 1, &inserted));
        OwnedVariant x("x"), y("y");
        EXPECT_EQ(S_OK, table->setVariant(1, 1, OSPFORMAT_RAW, x.v));
        EXPECT_EQ(E_INVALIDARG, table->setVariant(1, 2, OSPFORMAT_RAW, y.v)) << "delimiter U+" << std::hex << set[0];
        table->Release();
        EXPECT_EQ("\"x\"\r\n", file.Read()) << "delimiter U+" << std::hex << set[0];
    }
}

}  // namespace
}  // namespace qvtest
