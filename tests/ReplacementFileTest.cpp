// The platform's file replacement on its own: the temporary file is new,
// private while it is written, and gone after a commit or an abort.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "platform/FileIdentity.h"
#include "platform/ReplacementFile.h"
#include "support/Environment.h"
#include "support/Files.h"

namespace qvtest {
namespace {

// The reader and the writer cut a file's bytes differently: the digest must
// not depend on the cuts, and must change with any one byte.
TEST(ByteDigest, DoesNotDependOnTheCutsAndChangesWithAnyByte) {
    std::string bytes(200, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 131 + 7);
    auto digest = [](const std::string& text, size_t first, size_t second) {
        qv::ByteDigest d;
        d.Add(text.data(), first);
        d.Add(text.data() + first, second - first);
        d.Add(text.data() + second, text.size() - second);
        return d.Value();
    };
    const uint64_t whole = digest(bytes, 0, 0);
    for (size_t first = 0; first <= bytes.size(); ++first)
        for (size_t second = first; second <= bytes.size(); second += 1 + second % 13)
            ASSERT_EQ(whole, digest(bytes, first, second)) << "cut at " << first << " and " << second;
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::string changed = bytes;
        changed[i] ^= 1;
        EXPECT_NE(whole, digest(changed, i / 2, i)) << "byte " << i;
    }
    EXPECT_NE(whole, digest(bytes + std::string(1, '\0'), 0, 0)) << "a trailing zero byte";
}

class Replacement : public ::testing::Test {
protected:
    Replacement() : tempDirectory_(temp_.Path()) { WriteBytes(Target(), "old"); }
    fs::path Target() const { return data_ / "t.txt"; }
    TempFolder data_, temp_;
    ScopedTempDirectory tempDirectory_;
};

TEST_F(Replacement, TemporaryFileIsNewAndPrivateUntilCommitted) {
    WriteBytes(temp_ / "unrelated", "keep");
#ifndef _WIN32
    mode_t oldMask = umask(0);  // owner-only must not depend on the umask
#endif
    qv::ReplacementFile file;
    bool begun = file.Begin(Target().c_str());
#ifndef _WIN32
    umask(oldMask);
#endif
    ASSERT_TRUE(begun);
    std::vector<std::string> entries = Entries(temp_.Path());
    ASSERT_EQ(2u, entries.size());
    fs::path temporary = temp_ / (entries[0] == "unrelated" ? entries[1] : entries[0]);
#ifdef _WIN32
    // Nobody else can open it while it is written.
    HANDLE other = CreateFileA(temporary.string().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(INVALID_HANDLE_VALUE, other);
    if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
#else
    struct stat info;
    ASSERT_EQ(0, stat(temporary.c_str(), &info));
    EXPECT_EQ(0600u, info.st_mode & 07777);
#endif
    ASSERT_TRUE(file.Write("new", 3));
    EXPECT_EQ("old", ReadBytes(Target())) << "the target is untouched before the commit";
    ASSERT_TRUE(file.Commit());
    EXPECT_EQ("new", ReadBytes(Target()));
    EXPECT_EQ(std::vector<std::string>{"unrelated"}, Entries(temp_.Path()));
    EXPECT_EQ("keep", ReadBytes(temp_ / "unrelated"));
}

TEST_F(Replacement, AbortAndDestructionLeaveNothing) {
    {
        qv::ReplacementFile file;
        ASSERT_TRUE(file.Begin(Target().c_str()));
        ASSERT_TRUE(file.Write("new", 3));
        file.Abort();
        EXPECT_EQ(std::vector<std::string>{}, Entries(temp_.Path()));
        ASSERT_TRUE(file.Begin(Target().c_str()));
    }
    EXPECT_EQ(std::vector<std::string>{}, Entries(temp_.Path()));
    EXPECT_EQ("old", ReadBytes(Target()));
}

TEST_F(Replacement, ReadOnlyTargetIsRefusedBeforeAnythingIsCreated) {
    fs::permissions(Target(), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    qv::ReplacementFile file;
    EXPECT_FALSE(file.Begin(Target().c_str()));
    EXPECT_EQ(std::vector<std::string>{}, Entries(temp_.Path()));
    EXPECT_FALSE(file.Commit()) << "nothing was begun";
}

}  // namespace
}  // namespace qvtest
