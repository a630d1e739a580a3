// Saving a table to its file: an unchanged table leaves the file alone; a
// changed one replaces it whole, once on stable storage, keeping its owner,
// group and permission bits (its access list on Windows), also across
// volumes, and leaves no temporary file.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "support/ChildProcess.h"
#include "support/Environment.h"
#include "support/TableProbe.h"

#ifndef _WIN32
#include <sys/xattr.h>
#endif

#ifdef _WIN32
#include <sddl.h>  // after the Windows headers it builds on
#endif

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
    // Opens "a\n" with saves' temporary files in the test's folder, then in one
    // on another file system where the machine has one, and runs body on
    // each; a fatal failure or a skip ends the test.
    template <class Body>
    void OnEachVolume(Body body) {
        fs::path other = OtherVolume();
        std::unique_ptr<TempFolder> otherTemp(other.empty() ? nullptr : new TempFolder(other));
        for (const TempFolder* temp : {&temp_, otherTemp.get()}) {
            if (!temp) continue;
            ScopedTempDirectory directory(temp->Path());
            ref_.Reset();
            ASSERT_EQ(S_OK, OpenBytes(File(), "a\n", "", ref_));
            body(temp->Path());
            if (HasFatalFailure() || IsSkipped()) return;
        }
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
    ASSERT_EQ(S_OK, TableProbe::Open(File().string(), &ref_.table));
    EXPECT_EQ(E_FAIL, ref_->SaveToFile()) << "nothing to save";
    ref_.Reset();
    EXPECT_EQ(bytes, ReadBytes(File()));
    EXPECT_EQ(past, fs::last_write_time(File()));
    ExpectNoTemporaryFiles();
}

// A changed table replaces its file whole, saved by SaveToFile or at its
// release, even where the file is empty or has gone meanwhile.
TEST_F(Save, ChangedTableIsRewrittenWhole) {
    const struct {
        const char *bytes, *option;
        std::function<void(TableProbe&)> change;
        bool atRelease;
        const char* saved;
    } cases[] = {
        {"a,b\nc\n\nlast", "", [](TableProbe& t) { t.StoreText(2, 1, W("x\"y")); }, false,
         "\"a\",\"b\"\r\n\"x\"\"y\"\r\n\"\"\r\n\"last\"\r\n"},
        // Bytes above 0x7F come back as they were.
        {"a;\xE9\x80\n", "|k=;", [](TableProbe& t) { t.Store(1, 1, OwnedVariant::I4(42).v); }, true,
         "\"42\";\"\xE9\x80\"\r\n"},
        {"", "", [](TableProbe& t) { t.MarkModified(); }, false, ""},
        {"a\n", "",
         [&](TableProbe& t) {
             t.StoreText(1, 1, W("b"));
             fs::remove(File());
         },
         false, "\"b\"\r\n"},
    };
    for (const auto& c : cases) {
        ref_.Reset();
        ASSERT_EQ(S_OK, OpenBytes(File(), c.bytes, c.option, ref_));
        c.change(*ref_.table);
        if (c.atRelease) {
            ref_.Reset();
        } else {
            ASSERT_EQ(S_OK, ref_->SaveToFile()) << c.bytes;
            EXPECT_FALSE(ref_->Modified()) << c.bytes;
        }
        EXPECT_EQ(c.saved, ReadBytes(File())) << c.bytes;
        ExpectNoTemporaryFiles();
    }
}

// The save on request: its result for an unchanged, a changed and a saved
// table, what it says of unsaved changes, and a release after it that has
// nothing left to write.
TEST_F(Save, OnRequestTellsItsResult) {
    ASSERT_EQ(S_OK, OpenBytes(File(), "a,b\n", "", ref_));
    SaveInterface saver(ref_.table);
    ASSERT_NE(nullptr, saver.save);
    void* unknown = nullptr;
    ASSERT_EQ(S_OK, saver->QueryInterface(IID_IUnknown, &unknown));
    EXPECT_EQ(static_cast<IUnknown*>(static_cast<OLEDBSimpleProvider*>(ref_.table)), unknown) << "one identity";
    EXPECT_EQ(2u, saver->Release()) << "one count, the test's and the interface's left";
    EXPECT_EQ(E_INVALIDARG, saver->getModified(nullptr));
    BSTR path = nullptr;
    VXKEPT kind;
    EXPECT_EQ(E_INVALIDARG, saver->getKeptFile(nullptr, &path));
    EXPECT_EQ(E_INVALIDARG, saver->getKeptFile(&kind, nullptr));

    EXPECT_FALSE(saver.Modified());
    EXPECT_EQ(S_FALSE, saver->save()) << "nothing to save";
    EXPECT_EQ("a,b\n", ReadBytes(File()));
    ASSERT_EQ(S_OK, ref_->Edit(1, 2, W("x")));
    EXPECT_TRUE(saver.Modified());
    EXPECT_EQ(S_OK, saver->save());
    EXPECT_FALSE(saver.Modified());
    EXPECT_EQ("0", saver.Kept());
    EXPECT_EQ("\"a\",\"x\"\r\n", ReadBytes(File()));
    EXPECT_EQ(S_FALSE, saver->save());
    ExpectNoTemporaryFiles();

    // Saved and unchanged since: the release writes nothing.
    WriteBytes(File(), "written by another program\n");
    ref_.Reset();
    EXPECT_EQ("written by another program\n", ReadBytes(File()));
}

// An edit stored by another thread while a save on request puts the file in
// place (at its first file call after the writes, whichever the platform
// makes) is not in that file: the table stays modified, and the release
// saves the edit. The saving thread waits for the edit, so it is certain to
// fall inside the save.
TableProbe* g_editedWhileSaving = nullptr;
void EditAtTheReplace(qv::FileCall call) {
    if (call == qv::FileCall::kWrite || !g_editedWhileSaving) return;
    TableProbe* table = g_editedWhileSaving;
    g_editedWhileSaving = nullptr;
    std::thread editor([table] { EXPECT_EQ(S_OK, table->Edit(1, 1, W("late"))); });
    editor.join();
}
TEST_F(Save, OnRequestKeepsAnEditMadeMeanwhileUnsaved) {
    ASSERT_EQ(S_OK, OpenBytes(File(), "a,b\n", "", ref_));
    SaveInterface saver(ref_.table);
    ASSERT_EQ(S_OK, ref_->Edit(1, 2, W("early")));
    g_editedWhileSaving = ref_.table;
    qv::SetFileCallObserver(EditAtTheReplace);
    HRESULT hr = saver->save();
    qv::SetFileCallObserver(nullptr);
    EXPECT_EQ(S_OK, hr);
    EXPECT_EQ(nullptr, g_editedWhileSaving) << "the file calls were heard";
    EXPECT_EQ("\"a\",\"early\"\r\n", ReadBytes(File()));
    EXPECT_TRUE(saver.Modified()) << "the late edit is not in the file";
    saver.Reset();
    ref_.Reset();
    EXPECT_EQ("\"late\",\"early\"\r\n", ReadBytes(File()));
}

TEST_F(Save, RelativeNameKeepsTheFolderItWasOpenedIn) {
    TempFolder elsewhere;
    WriteBytes(elsewhere / "t.txt", "other\n");
    WriteBytes(File(), "a\n");
    fs::path before = fs::current_path();
    fs::current_path(data_.Path());
    HRESULT opened = TableProbe::Open("t.txt", &ref_.table);
    fs::current_path(elsewhere.Path());
    HRESULT edited = SUCCEEDED(opened) ? ref_->Edit(1, 1, W("x")) : opened;
    ref_.Reset();
    fs::current_path(before);
    ASSERT_EQ(S_OK, opened);
    EXPECT_EQ(S_OK, edited);
    EXPECT_EQ("\"x\"\r\n", ReadBytes(File()));
    EXPECT_EQ("other\n", ReadBytes(elsewhere / "t.txt"));
}

// A name is never bent into the name of another file: "\u0141\u00F3d\u017A"
// becomes "L\u00F3dz" in a code page that lacks the letters.
TEST_F(Save, NameOutsideTheCodePageOpensThatFile) {
    const fs::path exact = data_.Path() / fs::u8path(
                                              "\xC5\x81\xC3\xB3"
                                              "d\xC5\xBA.txt");
    const fs::path bent = data_.Path() / fs::u8path(
                                             "L\xC3\xB3"
                                             "dz.txt");
    WriteBytes(exact, "exact\n");
    WriteBytes(bent, "bent\n");
    const std::u16string name = exact.u16string();
    ASSERT_EQ(S_OK, TableProbe::Open(Wide(name.begin(), name.end()), &ref_.table));
    EXPECT_EQ((std::vector<std::string>{"exact"}), ref_->Cells(1));
    EXPECT_EQ(S_OK, ref_->Edit(1, 1, W("x")));
    ref_.Reset();
    EXPECT_EQ("\"x\"\r\n", ReadBytes(exact));
    EXPECT_EQ("bent\n", ReadBytes(bent));
}

// Half a surrogate pair has no narrow spelling: the name leads to no file,
// never to the one named by the replacement character in its place.
TEST_F(Save, NameWithHalfASurrogatePairOpensNoOtherFile) {
    const fs::path replacement = data_.Path() / fs::u8path("a\xEF\xBF\xBD.txt");
    WriteBytes(replacement, "other\n");
    for (OLECHAR half : {OLECHAR(0xD800), OLECHAR(0xDFFF)}) {
        const std::u16string folder = (data_.Path() / "a").u16string();
        Wide name(folder.begin(), folder.end());
        name += Wide{half} + W(".txt");
        TableProbe* table = nullptr;
        EXPECT_EQ(ASC_E_FILEACCESS, TableProbe::Open(name, &table)) << std::hex << half;
        EXPECT_EQ(nullptr, table);
    }
    EXPECT_EQ("other\n", ReadBytes(replacement));
}

// A temporary folder that cannot take the new contents costs no edit: they
// are written beside the data file instead.
TEST_F(Save, AnyTemporaryFolderTakesTheSave) {
    const fs::path cyrillic = temp_.Path() / fs::u8path("\xD1\x82\xD0\xBC\xD0\xBF");  // outside the ANSI code page
    fs::create_directory(cyrillic);
    WriteBytes(temp_ / "plain", "");
    for (const fs::path& folder : {cyrillic, temp_ / "missing", temp_ / "plain"}) {
        ScopedTempDirectory redirected(folder);
        ASSERT_EQ(S_OK, OpenBytes(File(), "a\n", "", ref_));
        EXPECT_EQ(S_OK, ref_->Edit(1, 1, W("x")));
        EXPECT_EQ(S_OK, ref_->SaveToFile()) << folder.u8string();
        ref_.Reset();
        EXPECT_EQ("\"x\"\r\n", ReadBytes(File())) << folder.u8string();
        EXPECT_EQ(std::vector<std::string>{"t.txt"}, Entries(data_.Path()));
    }
    EXPECT_EQ(std::vector<std::string>{}, Entries(cyrillic));
}

// The file calls of a save, one letter each: w write, f flush to stable
// storage, r replace, d flush of the folder, k replace keeping the target's
// identity (Windows).
std::string g_calls;
void RecordCall(qv::FileCall call) { g_calls += "wfrdk"[static_cast<int>(call)]; }

// A crash at any moment leaves the old or the new contents whole: what is
// written reaches stable storage before it replaces the data file, and (Linux)
// the folder after it, so that the replace itself lasts; from a temporary
// folder on the file's volume or another, with no file or descriptor left.
TEST_F(Save, NewContentsAreOnStableStorageBeforeTheyReplaceTheFile) {
    OnEachVolume([&](const fs::path& folder) {
        const std::string bytes(200000, 'x');
        ref_->StoreText(1, 1, W(bytes));
        g_calls.clear();
#ifndef _WIN32
        long folderFlushes = qv::FolderFlushesDone();
        size_t descriptors = OpenDescriptors();
#endif
        qv::SetFileCallObserver(RecordCall);
        HRESULT hr = ref_->SaveToFile();
        qv::SetFileCallObserver(nullptr);
        ASSERT_EQ(S_OK, hr) << folder;
        EXPECT_TRUE("\"" + bytes + "\"\r\n" == ReadBytes(File())) << folder;
        EXPECT_EQ(std::vector<std::string>{}, Entries(folder));
        EXPECT_EQ(std::vector<std::string>{"t.txt"}, Entries(data_.Path()));
#ifndef _WIN32
        EXPECT_EQ(folderFlushes + 1, qv::FolderFlushesDone()) << "the folder was not opened and flushed";
        EXPECT_EQ(descriptors, OpenDescriptors()) << "the save left a descriptor open";
#endif
        bool unflushed = false;
        for (char call : g_calls) {
            EXPECT_FALSE((call == 'r' || call == 'k') && unflushed) << "replaced before a flush: " << g_calls;
            if (call == 'w' || call == 'f') unflushed = call == 'w';
        }
#ifdef _WIN32
        EXPECT_EQ(std::string::npos, g_calls.find('r')) << "the identity-keeping replace was not used: " << g_calls;
        EXPECT_NE(std::string::npos, g_calls.find('k')) << g_calls;
#else
        EXPECT_NE(std::string::npos, g_calls.find('r')) << g_calls;
#endif
#ifndef _WIN32
        EXPECT_EQ('d', g_calls.back()) << "the folder is not flushed after the replace: " << g_calls;
#endif
    });
}

#ifndef _WIN32
// The saved file is the old one's: same owner, group and bits, whoever saves.
// Where the saver may not give the file away (another user's edit), it keeps
// no set-id bit, which would lend the saver's own rights.
TEST_F(Save, KeepsOwnerGroupAndPermissionBits) {
    if (geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
    struct Case {
        uid_t owner;
        mode_t mode;
        bool byNobody;
        uid_t savedOwner;
        mode_t savedMode;
    } cases[] = {
        {kNobody, 0640, false, kNobody, 0640},
        {kNobody, 06755, false, kNobody, 06755},
        {0, 06666, true, kNobody, 0666},
    };
    fs::permissions(temp_.Path(), fs::perms::all);
    fs::permissions(data_.Path(), fs::perms::all);
    for (const Case& c : cases) {
        ref_.Reset();
        ASSERT_EQ(S_OK, OpenBytes(File(), "a\n", "", ref_));
        ASSERT_EQ(0, chown(File().c_str(), c.owner, c.owner));
        ASSERT_EQ(0, chmod(File().c_str(), c.mode));
        ref_->StoreText(1, 1, W("b"));
        if (c.byNobody) {
            ASSERT_EQ(0, AsNobody([&] { return ref_->SaveToFile() == S_OK; }));
            ref_->MarkModified(false);
        } else {
            ASSERT_EQ(S_OK, ref_->SaveToFile());
        }
        struct stat info;
        ASSERT_EQ(0, stat(File().c_str(), &info));
        EXPECT_EQ(c.savedMode, info.st_mode & 07777) << std::oct << "mode " << c.mode;
        EXPECT_EQ(c.savedOwner, info.st_uid) << std::oct << "mode " << c.mode;
        EXPECT_EQ(c.savedOwner, info.st_gid) << std::oct << "mode " << c.mode;
    }
}

// The name is bound at the open, a link followed to its file; whatever is
// put at the name or on the way to it afterwards (a link to another file, the
// folder swapped for a link) is replaced or passed by, never followed: no
// other file is written, and what was put at the name is kept.
TEST_F(Save, LinksFollowedAtTheOpenOnly) {
    enum When { kAtOpen, kAtNameAfter, kFolderAfter };
    for (When when : {kAtOpen, kAtNameAfter, kFolderAfter}) {
        TempFolder root;
        const fs::path folder = root / "d", other = root / "other";
        fs::create_directories(folder);
        fs::create_directories(other);
        WriteBytes(folder / "real.txt", "a\n");
        WriteBytes(other / "victim.txt", "victim\n");
        WriteBytes(other / "real.txt", "victim\n");
        fs::path opened = folder / (when == kAtOpen ? "link.txt" : "real.txt");
        if (when == kAtOpen) fs::create_symlink(folder / "real.txt", opened);
        ASSERT_EQ(S_OK, TableProbe::Open(opened.string(), &ref_.table));
        ref_->StoreText(1, 1, W("b"));
        fs::path saved = folder / "real.txt";
        if (when == kAtNameAfter) {
            fs::rename(folder / "real.txt", folder / "real.bak");
            fs::create_symlink(other / "victim.txt", folder / "real.txt");
        } else if (when == kFolderAfter) {
            fs::rename(folder, root / "d.moved");
            fs::create_symlink(other, folder);
            saved = root / "d.moved" / "real.txt";
        }
        ASSERT_EQ(S_OK, ref_->SaveToFile()) << when;
        EXPECT_EQ("victim\n", ReadBytes(other / "victim.txt")) << when;
        EXPECT_EQ("victim\n", ReadBytes(other / "real.txt")) << when;
        EXPECT_EQ(std::vector<std::string>({"real.txt", "victim.txt"}), Entries(other)) << when;
        EXPECT_EQ("\"b\"\r\n", ReadBytes(saved)) << when;
        EXPECT_FALSE(fs::is_symlink(saved)) << when;
        if (when == kAtOpen) {
            EXPECT_TRUE(fs::is_symlink(opened));
        }
        if (when == kAtNameAfter) {
            EXPECT_EQ("a\n", ReadBytes(folder / "real.bak"));
            std::vector<std::string> kept = EntriesStartingWith(folder, "real.txt.displaced-");
            ASSERT_EQ(1u, kept.size()) << "the link put at the name is kept";
            EXPECT_TRUE(fs::is_symlink(folder / kept[0]));
        }
        ref_.Reset();
    }
}
#endif

#ifndef _WIN32
// An extended attribute of the file, or "<none>".
std::string Attribute(const fs::path& file, const char* name) {
    char value[256];
    ssize_t size = lgetxattr(file.c_str(), name, value, sizeof value);
    return size < 0 ? "<none>" : std::string(value, static_cast<size_t>(size));
}

// The extended attributes go with the file, its access list too (whose mask
// the permission bits must not narrow), whether the temporary directory lies
// on the file's volume or on another one that may hold no such attributes.
TEST_F(Save, KeepsTheAccessListAndAttributes) {
    // One named user may read: owner rw, nobody r, group r, mask rw, others none.
    const uint32_t kVersion = 2;
    const struct {
        uint16_t tag, perm;
        uint32_t id;
    } entries[] = {{0x01, 6, ~0u}, {0x02, 4, kNobody}, {0x04, 4, ~0u}, {0x10, 6, ~0u}, {0x20, 0, ~0u}};
    std::string accessList(reinterpret_cast<const char*>(&kVersion), sizeof kVersion);
    accessList.append(reinterpret_cast<const char*>(entries), sizeof entries);
    OnEachVolume([&](const fs::path& folder) {
        if (setxattr(File().c_str(), "user.origin", "kept", 4, 0) != 0) GTEST_SKIP() << "no user attributes here";
        bool withList =
            setxattr(File().c_str(), "system.posix_acl_access", accessList.data(), accessList.size(), 0) == 0;
        ref_->StoreText(1, 1, W("b"));
        ASSERT_EQ(S_OK, ref_->SaveToFile()) << folder;
        EXPECT_EQ("\"b\"\r\n", ReadBytes(File()));
        EXPECT_EQ("kept", Attribute(File(), "user.origin")) << folder;
        if (withList) {
            EXPECT_TRUE(accessList == Attribute(File(), "system.posix_acl_access")) << folder;
        }
        ExpectNoTemporaryFiles();
    });
}
#endif

// Two writers: whatever the save displaces from the name is deleted only when
// it is the file the table loaded (or last saved), told by its identity and,
// where times or the file's number moved, by its bytes; anything else is kept
// beside it, never ending in the file's own extension. Where the file system
// cannot exchange the files, the check before the replace does the same.
TEST_F(Save, KeepsWhatAnotherWriterPutAtTheName) {
    auto putBackTimes = [](const fs::path& file, const std::function<void()>& change) {
        const fs::file_time_type before = fs::last_write_time(file);
        change();
        fs::last_write_time(file, before);
    };
    struct Case {
        const char* what;
        std::function<void(const fs::path&)> meanwhile;
        bool kept;
    } const cases[] = {
        {"nothing", [](const fs::path&) {}, false},
        {"another table saved it",
         [](const fs::path& file) {
             TableRef other;
             ASSERT_EQ(S_OK, TableProbe::Open(file.string(), &other.table));
             other->StoreText(1, 2, W("other"));
             ASSERT_EQ(S_OK, other->SaveToFile());
         },
         true},
        {"times moved over the same bytes",
         [](const fs::path& file) { fs::last_write_time(file, fs::last_write_time(file) + std::chrono::hours(1)); },
         false},
        {"new bytes of the same size, times put back",
         [&](const fs::path& file) {
             putBackTimes(file, [&] {
                 std::string bytes = ReadBytes(file);
                 bytes[1] = bytes[1] == 'z' ? 'y' : 'z';
                 std::fstream out(file, std::ios::in | std::ios::out | std::ios::binary);
                 out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
             });
         },
         true},
        {"an identical copy put in its place",
         [](const fs::path& file) {
             WriteBytes(file.string() + ".copy", ReadBytes(file));
             fs::rename(file.string() + ".copy", file);
         },
         false},
        {"another file put in its place",
         [](const fs::path& file) {
             WriteBytes(file.string() + ".new", "other\n");
             fs::rename(file.string() + ".new", file);
         },
         true},
    };
    for (bool exchange : {true, false}) {
        for (bool savedBefore : {false, true}) {
            for (const Case& c : cases) {
                const std::string what = std::string(c.what) + (savedBefore ? ", after a save of its own" : "") +
                                         (exchange ? "" : ", without an exchange");
                ref_.Reset();
                fs::remove_all(data_.Path());
                fs::create_directories(data_.Path());
                ASSERT_EQ(S_OK, OpenBytes(File(), "a\n", "", ref_));
                if (savedBefore) {
                    ref_->StoreText(1, 1, W("first"));
                    ASSERT_EQ(S_OK, ref_->SaveToFile());
                }
                ref_->StoreText(1, 1, W("mine"));
                c.meanwhile(File());
                const std::string displaced = ReadBytes(File());
                qv::SetKeepingReplaceFailure(!exchange);
                HRESULT hr = ref_->SaveToFile();
                qv::SetKeepingReplaceFailure(false);
                ASSERT_EQ(S_OK, hr) << what;
                EXPECT_EQ("\"mine\"\r\n", ReadBytes(File())) << what;
                std::vector<std::string> kept = EntriesStartingWith(data_.Path(), "t.txt.displaced-");
                ASSERT_EQ(c.kept ? 1u : 0u, kept.size()) << what;
                std::vector<std::string> expected = kept;
                expected.insert(expected.begin(), "t.txt");
                EXPECT_EQ(expected, Entries(data_.Path())) << what;
                EXPECT_EQ(std::vector<std::string>{}, Entries(temp_.Path())) << what;
                if (c.kept) {
                    EXPECT_EQ(displaced, ReadBytes(data_ / kept[0])) << what;
                    EXPECT_NE(".txt", fs::path(kept[0]).extension()) << what;
                }
            }
        }
    }
    ref_.Reset();
}

#ifdef _WIN32
// The access list of a file in its text form, or "" when it cannot be read.
std::string AccessList(const fs::path& file) {
    char buffer[4096];
    DWORD size = 0;
    if (!GetFileSecurityA(file.string().c_str(), DACL_SECURITY_INFORMATION, buffer, sizeof buffer, &size)) return "";
    char* text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorA(buffer, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text,
                                                              nullptr))
        return "";
    std::string list = text;
    LocalFree(text);
    return list;
}

// The temporary directory admits the user alone: the saved file must admit
// whom the old one admitted, and a hidden file stays hidden, whether the
// replace that keeps them works or the plain one takes over (where the file
// system offers no such replace). Wine shows attributes and access lists;
// encryption, compression and streams it does not keep at all.
TEST_F(Save, KeepsTheAccessListAndAttributes) {
    for (bool keepingFails : {false, true}) {
        ref_.Reset();
        ASSERT_EQ(S_OK, OpenBytes(File(), "a\n", "", ref_));
        PSECURITY_DESCRIPTOR everyone = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;FA;;;WD)(A;;FR;;;BU)", SDDL_REVISION_1,
                                                                         &everyone, nullptr));
        BOOL set = SetFileSecurityA(File().string().c_str(), DACL_SECURITY_INFORMATION, everyone);
        LocalFree(everyone);
        ASSERT_TRUE(set);
        ASSERT_TRUE(SetFileAttributesW(File().c_str(), FILE_ATTRIBUTE_HIDDEN));
        std::string before = AccessList(File());
        ASSERT_NE("", before);
        ref_->StoreText(1, 1, W("b"));
        g_calls.clear();
        qv::SetFileCallObserver(RecordCall);
        qv::SetKeepingReplaceFailure(keepingFails);
        HRESULT hr = ref_->SaveToFile();
        qv::SetKeepingReplaceFailure(false);
        qv::SetFileCallObserver(nullptr);
        DWORD attributes = GetFileAttributesW(File().c_str());
        SetFileAttributesW(File().c_str(), FILE_ATTRIBUTE_NORMAL);
        ASSERT_EQ(S_OK, hr) << "keeping replace fails: " << keepingFails;
        std::string replaces;
        for (char call : g_calls)
            if (call == 'k' || call == 'r') replaces += call;
        EXPECT_EQ(keepingFails ? "kr" : "k", replaces) << g_calls;
        EXPECT_EQ("\"b\"\r\n", ReadBytes(File()));
        EXPECT_EQ(before, AccessList(File())) << "keeping replace fails: " << keepingFails;
        EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_HIDDEN))
            << "keeping replace fails: " << keepingFails;
        ExpectNoTemporaryFiles();
    }
}

// The copy made beside the data file, from a temporary folder on another
// volume, admits none of those the folder admits until it takes the data
// file's place: only its owner (and the system).
std::string g_besideAccess;
fs::path g_besideFolder;
void RecordBesideAccess(qv::FileCall call) {
    if (call != qv::FileCall::kKeepingReplace) return;
    for (const auto& entry : fs::directory_iterator(g_besideFolder))
        if (entry.path().filename() != "t.txt") g_besideAccess += AccessList(entry.path());
}

TEST_F(Save, CopyBesideTheFileAdmitsItsOwnerAlone) {
    fs::path other = OtherVolume();
    if (other.empty()) GTEST_SKIP() << "no folder on another volume";
    TempFolder temp(other);
    ScopedTempDirectory onOtherVolume(temp.Path());
    ASSERT_EQ(S_OK, OpenBytes(File(), "a\n", "", ref_));
    PSECURITY_DESCRIPTOR everyone = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(A;OICI;FA;;;WD)(A;OICI;FA;;;BU)",
                                                                     SDDL_REVISION_1, &everyone, nullptr));
    BOOL set = SetFileSecurityA(data_.Path().string().c_str(), DACL_SECURITY_INFORMATION, everyone);
    LocalFree(everyone);
    ASSERT_TRUE(set);
    ref_->StoreText(1, 1, W("b"));
    g_besideAccess.clear();
    g_besideFolder = data_.Path();
    qv::SetFileCallObserver(RecordBesideAccess);
    HRESULT hr = ref_->SaveToFile();
    qv::SetFileCallObserver(nullptr);
    ASSERT_EQ(S_OK, hr);
    ASSERT_EQ(0u, g_besideAccess.find("D:")) << g_besideAccess;
    EXPECT_EQ(std::string::npos, g_besideAccess.find(";WD)")) << g_besideAccess;
    EXPECT_EQ(std::string::npos, g_besideAccess.find(";BU)")) << g_besideAccess;
    EXPECT_NE(std::string::npos, g_besideAccess.find(";S-1-5-")) << "not even its owner: " << g_besideAccess;
    ExpectNoTemporaryFiles();
}

// A link is followed to its file when the table opens it: the link stays a
// link and the file it leads to takes the edits.
TEST_F(Save, SymbolicLinkStaysAndItsFileIsReplaced) {
    WriteBytes(data_ / "real.txt", "a\n");
    if (!CreateSymbolicLinkW(File().c_str(), (data_ / "real.txt").c_str(), 0) || !fs::exists(File()))
        GTEST_SKIP() << "no symbolic links here";
    ASSERT_EQ(S_OK, TableProbe::Open(File().string(), &ref_.table));
    ref_->StoreText(1, 1, W("b"));
    ASSERT_EQ(S_OK, ref_->SaveToFile());
    EXPECT_NE(0u, GetFileAttributesW(File().c_str()) & FILE_ATTRIBUTE_REPARSE_POINT) << "the link was replaced";
    EXPECT_EQ("\"b\"\r\n", ReadBytes(data_ / "real.txt"));
}
#endif

}  // namespace
}  // namespace qvtest
