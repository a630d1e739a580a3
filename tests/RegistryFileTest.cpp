// The Linux registry file: the Win32 result codes of its functions, its
// REGEDIT4 text, where it lives, and changes from several processes at once.
#ifndef _WIN32
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "module/Exports.h"
#include "support/Environment.h"
#include "support/Files.h"
#include "support/ModuleLibrary.h"
#include "support/RegistrySandbox.h"
#include "support/Text.h"

namespace {

using qvtest::ReadBytes;

// Writes a file, with the folders above it that are missing.
void WriteText(const std::string& path, const std::string& text) {
    qvtest::fs::create_directories(qvtest::fs::path(path).parent_path());
    qvtest::WriteBytes(path, text);
}

class RegistryFileTest : public ::testing::Test {
protected:
    HKEY Create(const char* path, DWORD* disposition = nullptr) {
        HKEY key = nullptr;
        LONG result =
            RegCreateKeyExA(HKEY_CLASSES_ROOT, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, disposition);
        EXPECT_EQ(ERROR_SUCCESS, result) << "RegCreateKeyExA(" << path << ")";
        return key;
    }
    LONG SetString(HKEY key, const char* name, const std::string& text) {
        return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                              static_cast<DWORD>(text.size() + 1));
    }

    qvtest::RegistrySandbox sandbox_;
};

TEST_F(RegistryFileTest, KeysAreCreatedOpenedAndDeletedWithWindowsResults) {
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(HKEY_CLASSES_ROOT, "Missing", 0, KEY_READ, &key))
        << "no registry file yet is an empty registry";
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyA(HKEY_CLASSES_ROOT, "Missing"));

    DWORD disposition = 0;
    HKEY deep = Create("Alpha\\Beta\\Gamma", &disposition);
    EXPECT_EQ(static_cast<DWORD>(REG_CREATED_NEW_KEY), disposition) << "missing keys above are made too";
    HKEY again = Create("ALPHA\\beta", &disposition);
    EXPECT_EQ(static_cast<DWORD>(REG_OPENED_EXISTING_KEY), disposition) << "names ignore case";
    HKEY child = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(again, "Delta", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr))
        << "a key below an open handle";

    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(HKEY_CLASSES_ROOT, "Alpha\\Beta")) << "it still has subkeys";
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(again, "gamma"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_CLASSES_ROOT, "Alpha\\Beta\\Delta"));
    EXPECT_EQ(ERROR_KEY_DELETED, SetString(deep, nullptr, "x")) << "a handle outliving its key";
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_CLASSES_ROOT, "Alpha\\Beta"));
    EXPECT_EQ(ERROR_KEY_DELETED,
              RegCreateKeyExA(again, "Epsilon", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    EXPECT_TRUE(qvtest::RegistryKeyExists("Alpha")) << "deleting a key leaves its parent";

    EXPECT_EQ(ERROR_BAD_PATHNAME,
              RegCreateKeyExA(HKEY_CLASSES_ROOT, "\\Lead", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    EXPECT_EQ(ERROR_BAD_PATHNAME,
              RegCreateKeyExA(HKEY_CLASSES_ROOT, "A\\\\B", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(HKEY_CLASSES_ROOT, "")) << "the hive itself stays";
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegDeleteKeyA(HKEY_CLASSES_ROOT, nullptr));

    for (HKEY open : {deep, again, child}) EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(open));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(HKEY_CLASSES_ROOT));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000001u))))
        << "no other hive is kept";
}

TEST_F(RegistryFileTest, ValuesReadBackWithTheirSizes) {
    HKEY key = Create("Sizes");
    ASSERT_EQ(ERROR_SUCCESS, SetString(key, nullptr, "default"));
    ASSERT_EQ(ERROR_SUCCESS, SetString(key, "Name", "12345"));
    ASSERT_EQ(ERROR_SUCCESS, SetString(key, "name", "123456")) << "the same value whatever the case";

    DWORD type = 0, size = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "NAME", nullptr, &type, nullptr, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(7u, size) << "the terminator is stored";
    char buffer[16];
    size = 3;
    EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExA(key, "Name", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size));
    EXPECT_EQ(7u, size) << "the size it needs";
    size = sizeof buffer;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size));
    EXPECT_STREQ("default", buffer) << "an empty name is the default value";
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(key, "Other", nullptr, nullptr, nullptr, &size));
    RegCloseKey(key);
}

TEST_F(RegistryFileTest, TheFileIsREGEDIT4TextThatReadsBackTheSame) {
    HKEY key = Create("Zeta\\Sub");
    ASSERT_EQ(ERROR_SUCCESS, SetString(key, nullptr, "C:\\dir\\\"q\""));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, SetString(key, "Two\nLines", "x")) << "a name the text cannot carry";
    EXPECT_EQ(ERROR_SUCCESS, SetString(key, "Multi", "one\r\ntwo"));
    BYTE dword[4] = {0x78, 0x56, 0x34, 0x12};
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "Count", 0, REG_DWORD, dword, 4));
    RegCloseKey(key);
    RegCloseKey(Create("Alpha"));

    EXPECT_EQ(
        "REGEDIT4\n"
        "\n[HKEY_CLASSES_ROOT\\Alpha]\n"
        "\n[HKEY_CLASSES_ROOT\\Zeta]\n"
        "\n[HKEY_CLASSES_ROOT\\Zeta\\Sub]\n"
        "@=\"C:\\\\dir\\\\\\\"q\\\"\"\n"
        "\"Multi\"=hex(1):6f,6e,65,0d,0a,74,77,6f,00\n"
        "\"Count\"=dword:12345678\n",
        ReadBytes(sandbox_.FilePath()))
        << "keys in name order, parents first; a string with a line break goes as bytes";
}

TEST_F(RegistryFileTest, AHandWrittenFileIsRead) {
    WriteText(sandbox_.FilePath(),
              "REGEDIT4\r\n\r\n; a comment\r\n[hkey_classes_root\\Tool\\Open]\r\n@=\"run \\\"%1\\\"\"\r\n"
              "\"Bytes\"=hex:01,02,\\\r\n  03\r\n");
    std::string value;
    ASSERT_EQ(ERROR_SUCCESS, qvtest::ReadRegistryString("Tool\\open", nullptr, value));
    EXPECT_EQ("run \"%1\"", value);
    EXPECT_TRUE(qvtest::RegistryKeyExists("Tool")) << "a section makes the keys above it";
    auto values = sandbox_.AllValues();
    EXPECT_EQ(std::string("\x01\x02\x03", 3), values["Tool\\Open|Bytes"]) << "continued binary data";
}

TEST_F(RegistryFileTest, AFileThatCannotBeReadIsNeverOverwritten) {
    for (const std::string& text :
         {std::string("[HKEY_CLASSES_ROOT\\NoHeader]\n"), std::string("REGEDIT4\n[HKEY_CURRENT_USER\\Other]\n"),
          std::string("REGEDIT4\n[HKEY_CLASSES_ROOT\\K]\n\"v\"=unknown:1\n"),
          std::string("REGEDIT4\n@=\"outside any key\"\n")}) {
        WriteText(sandbox_.FilePath(), text);
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_BADDB,
                  RegCreateKeyExA(HKEY_CLASSES_ROOT, "New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr))
            << text;
        EXPECT_EQ(ERROR_BADDB, RegOpenKeyExA(HKEY_CLASSES_ROOT, "K", 0, KEY_READ, &key)) << text;
        EXPECT_EQ(text, ReadBytes(sandbox_.FilePath()));
    }
}

// Whatever another user lays in the registry's folder under a name a
// replacement could pick, nothing follows it.
TEST_F(RegistryFileTest, ANameLaidBesideTheRegistryIsNeverFollowed) {
    std::string victim = sandbox_.Directory() + "/victim";
    WriteText(victim, "victim");
    std::string planted = sandbox_.FilePath() + ".tmp." + std::to_string(getpid());
    ASSERT_EQ(0, symlink(victim.c_str(), planted.c_str()));
    RegCloseKey(Create("Planted"));
    EXPECT_EQ("victim", ReadBytes(victim));
    struct stat info;
    ASSERT_EQ(0, lstat(sandbox_.FilePath().c_str(), &info));
    EXPECT_TRUE(S_ISREG(info.st_mode)) << "the registry is a file of its own";
    EXPECT_TRUE(qvtest::RegistryKeyExists("Planted"));
}

TEST_F(RegistryFileTest, TheFileIsFoundThroughTheEnvironment) {
    std::string root = sandbox_.Directory();
    qvtest::ScopedEnv home("HOME", root + "/home"), xdg("XDG_DATA_HOME", root + "/data");
    unsetenv("QUORVEL_REGISTRY");

    RegCloseKey(Create("FromXdg"));
    EXPECT_NE(std::string::npos, ReadBytes(root + "/data/quorvel/classes.reg").find("[HKEY_CLASSES_ROOT\\FromXdg]"))
        << "directories are made as needed";

    setenv("XDG_DATA_HOME", "relative/data", 1);
    RegCloseKey(Create("FromHome"));
    EXPECT_NE(std::string::npos,
              ReadBytes(root + "/home/.local/share/quorvel/classes.reg").find("[HKEY_CLASSES_ROOT\\FromHome]"))
        << "a relative XDG_DATA_HOME is ignored";
    setenv("QUORVEL_REGISTRY", sandbox_.FilePath().c_str(), 1);
}

// Runs body in count child processes at once; true when all exit with 0.
template <class Body>
bool InChildren(int count, Body body) {
    std::vector<pid_t> children;
    for (int i = 0; i < count; ++i) {
        pid_t pid = fork();
        if (pid == 0) _exit(body(i) ? 0 : 1);
        children.push_back(pid);
    }
    bool ok = true;
    for (pid_t pid : children) {
        int status = 0;
        waitpid(pid, &status, 0);
        ok = ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    return ok;
}

TEST_F(RegistryFileTest, ChangesFromSeveralProcessesAtOnceAreAllKept) {
    ASSERT_TRUE(InChildren(4, [](int child) {
        for (int i = 0; i < 25; ++i) {
            std::string path = "Child" + std::to_string(child) + "\\Key" + std::to_string(i);
            if (qvtest::CreateRegistryKey(path, "N", std::to_string(i)) != ERROR_SUCCESS) return false;
        }
        return true;
    }));
    auto values = sandbox_.AllValues();
    for (int child = 0; child < 4; ++child)
        for (int i = 0; i < 25; ++i)
            EXPECT_EQ(std::to_string(i), values["Child" + std::to_string(child) + "\\Key" + std::to_string(i) + "|N"])
                << "lost in a concurrent change";
}

TEST_F(RegistryFileTest, TwoProcessesRegisteringAtOnceLeaveOneWholeRegistration) {
    ASSERT_TRUE(InChildren(2, [](int child) {
        qvtest::ModuleLibrary library(QUORVEL_LIBRARY_PATH);
        if (!library.Loaded()) return false;
        auto registerServer = library.Get<qvtest::EntryPoint>("DllRegisterServer");
        auto unregisterServer = library.Get<qvtest::EntryPoint>("DllUnregisterServer");
        for (int i = 0; i < 10; ++i) {
            if (registerServer() != S_OK) return false;
            if (child == 1 && i % 3 == 0 && unregisterServer() != S_OK) return false;
        }
        return registerServer() == S_OK;
    })) << "every registration succeeded";
    auto values = sandbox_.AllValues();
    int count = 0;
    for (const auto& entry : values)
        if (entry.first.find("<key>") == std::string::npos) ++count;
    EXPECT_EQ(16, count);
    EXPECT_EQ("Both", values["CLSID\\{A1D4E7B2-3C58-4F09-8E6A-5B2C9D0F7E13}\\InprocServer32|ThreadingModel"]);
    EXPECT_EQ(0, std::system(("test -z \"$(ls '" + sandbox_.Directory() + "' | grep tmp)\"").c_str()))
        << "no temporary file is left beside the registry";
}

}  // namespace
#endif
