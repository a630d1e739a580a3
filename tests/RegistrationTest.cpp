// DllRegisterServer and DllUnregisterServer against a registry of the test's
// own: the sixteen rows and their values, re-registration, unregistration
// with nothing there or with someone else's subkey in the way, and failures.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "module/Exports.h"
#include "platform/ModulePath.h"
#include "support/Hooks.h"
#include "support/ModuleLibrary.h"
#include "support/RegistrySandbox.h"
#include "support/TableProbe.h"

#ifdef _WIN32
#include <shlobj.h>
#else
#include <sys/stat.h>
#endif

namespace {

typedef std::map<std::string, std::string> Values;

const std::string kObject = "CLSID\\{A1D4E7B2-3C58-4F09-8E6A-5B2C9D0F7E13}";
const std::string kProvider = "CLSID\\{6F3C2A91-4D7E-4B1A-9C05-2E8D71A4B3C6}";

std::string Directory(const std::string& path) { return path.substr(0, path.rfind(qv::kPathSeparator) + 1); }

// What one registration leaves for a library at modulePath: every key (marked
// "<key>") and the sixteen values; the provider's server is MSDAOSP.DLL beside
// the library unless layer names another.
Values Registered(const std::string& modulePath, const std::string& layer = std::string()) {
    Values v;
    for (const std::string& key :
         {std::string("VxASCOSP"), std::string("VxASCOSP\\Clsid"), std::string("CLSID"), kObject, kObject + "\\ProgID",
          kObject + "\\VersionIndependentProgID", kObject + "\\InprocServer32", std::string("Quorvel"),
          std::string("Quorvel\\CLSID"), kProvider, kProvider + "\\InprocServer32", kProvider + "\\ProgID",
          kProvider + "\\VersionIndependentProgID", kProvider + "\\OLE DB Provider", kProvider + "\\OSP Data Object"})
        v[key + "|(default)<key>"] = "";
    v["VxASCOSP|(default)"] = "Varnex OLE DB ASCII OSP Provider";
    v["VxASCOSP\\Clsid|(default)"] = "{A1D4E7B2-3C58-4F09-8E6A-5B2C9D0F7E13}";
    v[kObject + "|(default)"] = "VxASCOSP";
    v[kObject + "\\ProgID|(default)"] = "VxASCOSP";
    v[kObject + "\\VersionIndependentProgID|(default)"] = "VxASCOSP";
    v[kObject + "\\InprocServer32|ThreadingModel"] = "Both";
    v[kObject + "\\InprocServer32|(default)"] = modulePath;
    v["Quorvel|(default)"] = "Varnex OLE DB ASCII Provider";
    v["Quorvel\\CLSID|(default)"] = "{6F3C2A91-4D7E-4B1A-9C05-2E8D71A4B3C6}";
    v[kProvider + "|(default)"] = "Quorvel";
    v[kProvider + "\\InprocServer32|ThreadingModel"] = "Both";
    v[kProvider + "\\InprocServer32|(default)"] = layer.empty() ? Directory(modulePath) + "MSDAOSP.DLL" : layer;
    v[kProvider + "\\ProgID|(default)"] = "Quorvel.1";
    v[kProvider + "\\VersionIndependentProgID|(default)"] = "Quorvel";
    v[kProvider + "\\OLE DB Provider|(default)"] = "Varnex OLE DB ASCII Provider";
    v[kProvider + "\\OSP Data Object|(default)"] = "VxASCOSP";
    return v;
}

class RegistrationTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sandbox_.Ok()) << "no private registry for the test";
        qv::PathChar path[260];
        DWORD length = qv::ModuleFileName(nullptr, path, 260);
        ASSERT_TRUE(length > 0 && length < 260);
        for (DWORD i = 0; i < length; ++i) ASSERT_LT(path[i], 0x80) << "the test's own path is ASCII";
        modulePath_.assign(path, path + length);
    }

    qvtest::RegistrySandbox sandbox_;
    std::string modulePath_;
    qvtest::AllocFailureGuard guard_;
};

TEST_F(RegistrationTest, RegisterWritesExactlyTheSixteenRowsAndAgainLeavesOneRegistration) {
    ASSERT_EQ(S_OK, DllRegisterServer()) << "DllRegisterServer";
    EXPECT_EQ(Registered(modulePath_), sandbox_.AllValues());

    std::string value;
    ASSERT_EQ(ERROR_SUCCESS, qvtest::ReadRegistryString("quorvel\\clsid", nullptr, value))
        << "names are found whatever their case";
    EXPECT_EQ("{6F3C2A91-4D7E-4B1A-9C05-2E8D71A4B3C6}", value);

    // Registering again leaves one registration.
    ASSERT_EQ(ERROR_SUCCESS, qvtest::CreateRegistryKey("Quorvel", "Stale", "from an older version"));
    ASSERT_EQ(S_OK, DllRegisterServer()) << "the second registration";
    EXPECT_EQ(Registered(modulePath_), sandbox_.AllValues()) << "the first one's keys went with their values";
}

TEST_F(RegistrationTest, UnregisterWithNothingRegisteredSucceedsAndTouchesNothingElse) {
    ASSERT_EQ(ERROR_SUCCESS, qvtest::CreateRegistryKey("CLSID\\{00000000-1111-2222-3333-444444444444}", nullptr, "x"));
    ASSERT_EQ(ERROR_SUCCESS, qvtest::CreateRegistryKey("txtfile", nullptr, "Text Document"));
    Values before = sandbox_.AllValues();
    EXPECT_EQ(S_OK, DllUnregisterServer());
    EXPECT_EQ(before, sandbox_.AllValues());

    ASSERT_EQ(S_OK, DllRegisterServer());
    EXPECT_EQ(S_OK, DllUnregisterServer());
    EXPECT_EQ(before, sandbox_.AllValues()) << "\"CLSID\" and every key outside the table stay";
    EXPECT_TRUE(qvtest::RegistryKeyExists("CLSID"));
}

TEST_F(RegistrationTest, AForeignSubkeyFailsUnregistrationButEveryOtherRowGoes) {
    ASSERT_EQ(S_OK, DllRegisterServer());
    ASSERT_EQ(ERROR_SUCCESS, qvtest::CreateRegistryKey(kObject + "\\Implemented Categories"));
    EXPECT_EQ(E_FAIL, DllUnregisterServer());

    Values expected;
    expected["CLSID|(default)<key>"] = "";
    expected[kObject + "|(default)<key>"] = "";
    expected[kObject + "|(default)"] = "VxASCOSP";
    expected[kObject + "\\Implemented Categories|(default)<key>"] = "";
    EXPECT_EQ(expected, sandbox_.AllValues()) << "only the class key above the foreign key stays";

    EXPECT_EQ(S_OK, DllRegisterServer()) << "registration opens the key that stayed";
    Values registered = Registered(modulePath_);
    registered[kObject + "\\Implemented Categories|(default)<key>"] = "";
    EXPECT_EQ(registered, sandbox_.AllValues());
}

// The module path through the built library itself: the path the system
// loaded it from.
TEST_F(RegistrationTest, TheBuiltLibraryRegistersItsOwnPath) {
    qvtest::ModuleLibrary library(QUORVEL_LIBRARY_PATH);
    auto registerServer = library.Get<qvtest::EntryPoint>("DllRegisterServer");
    auto unregisterServer = library.Get<qvtest::EntryPoint>("DllUnregisterServer");
    ASSERT_TRUE(registerServer && unregisterServer) << QUORVEL_LIBRARY_PATH << " or its entries";
    std::string path = library.FileName();
    ASSERT_FALSE(path.empty());

    ASSERT_EQ(S_OK, registerServer()) << "DllRegisterServer of " << path;
    EXPECT_EQ(Registered(path), sandbox_.AllValues());
    EXPECT_EQ(S_OK, unregisterServer());
    EXPECT_EQ(Values({{"CLSID|(default)<key>", ""}}), sandbox_.AllValues());
}

#ifdef _WIN32
// A library in a folder whose name the code page lacks registers the path it
// was loaded from letter for letter, not the code page's question marks.
TEST_F(RegistrationTest, ALibraryInAFolderOutsideTheCodePageRegistersItsOwnPath) {
    wchar_t temp[MAX_PATH];
    ASSERT_NE(0u, GetTempPathW(MAX_PATH, temp));
    const std::wstring dir =
        std::wstring(temp) + L"qv-\x0442\x0435\x0441\x0442-" + std::to_wstring(GetCurrentProcessId());
    const std::wstring copy = dir + L"\\Quorvel.dll";
    const std::string built = QUORVEL_LIBRARY_PATH;
    ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
    ASSERT_TRUE(CopyFileW(std::wstring(built.begin(), built.end()).c_str(), copy.c_str(), FALSE));
    HMODULE library = LoadLibraryW(copy.c_str());
    ASSERT_NE(nullptr, library);
    auto registerServer =
        reinterpret_cast<qvtest::EntryPoint>(reinterpret_cast<void*>(GetProcAddress(library, "DllRegisterServer")));
    HRESULT hr = registerServer ? registerServer() : E_UNEXPECTED;
    wchar_t value[MAX_PATH] = {};
    DWORD size = sizeof value;
    LONG read = RegGetValueW(HKEY_CLASSES_ROOT,
                             std::wstring(kObject.begin(), kObject.end()).append(L"\\InprocServer32").c_str(), nullptr,
                             RRF_RT_REG_SZ, nullptr, value, &size);
    FreeLibrary(library);
    DeleteFileW(copy.c_str());
    RemoveDirectoryW(dir.c_str());
    ASSERT_EQ(S_OK, hr);
    ASSERT_EQ(ERROR_SUCCESS, read);
    EXPECT_TRUE(copy == value) << "registered another path";
}

// The provider's server is MSDAOSP.DLL beside the library when it lies there,
// else the platform's copy in the common files folder of this process's
// bitness, else beside the library all the same. Stand-in files play both.
TEST_F(RegistrationTest, TheProviderIsServedByTheLayerBesideUsElseByThePlatformsCopy) {
    PWSTR common = nullptr;
    ASSERT_EQ(S_OK, SHGetKnownFolderPath(FOLDERID_ProgramFilesCommon, 0, nullptr, &common));
    const std::wstring folder = std::wstring(common) + L"\\System\\Ole DB";
    CoTaskMemFree(common);
    const std::string folderName(folder.begin(), folder.end());  // ASCII, as Windows names it
    const std::string platformCopy = folderName + "\\msdaosp.dll", beside = Directory(modulePath_) + "MSDAOSP.DLL";
    if (GetFileAttributesA(platformCopy.c_str()) != INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "the platform's own layer is there, not to be played by a stand-in";
    SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    auto place = [](const std::string& path, bool there) {
        DeleteFileA(path.c_str());
        return !there || CloseHandle(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    };
    const std::string registeredCopy = folderName + "\\MSDAOSP.DLL";  // the table's spelling; case does not matter
    const struct {
        bool copy, besideUs;
        std::string expected;
    } cases[] = {{false, false, beside}, {true, false, registeredCopy}, {true, true, beside}, {false, true, beside}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected + (c.copy ? ", the platform's copy there" : ", no platform's copy"));
        EXPECT_TRUE(place(platformCopy, c.copy) && place(beside, c.besideUs));
        EXPECT_EQ(S_OK, DllRegisterServer());
        EXPECT_EQ(Registered(modulePath_, c.expected), sandbox_.AllValues());
    }
    place(platformCopy, false);
    place(beside, false);
}
#endif

#ifndef _WIN32
// Failures of the registry itself are made on Linux, where the registry layer
// is ours: a failed handle allocation, a path too long, an unreadable file.
TEST_F(RegistrationTest, ARowThatCannotBeWrittenUndoesTheWholeRegistration) {
    ASSERT_EQ(ERROR_SUCCESS, qvtest::CreateRegistryKey("Quorvel", nullptr, "an older registration"));
    ASSERT_EQ(ERROR_SUCCESS, qvtest::CreateRegistryKey("txtfile", nullptr, "Text Document"));
    bool succeeded = false;
    for (long n = 1; n < 100 && !succeeded; ++n) {
        qv::SetAllocFailure(n);
        HRESULT hr = DllRegisterServer();
        qv::SetAllocFailure(0);
        if (hr == S_OK) {
            succeeded = true;
            Values expected = Registered(modulePath_);
            expected["txtfile|(default)<key>"] = "";
            expected["txtfile|(default)"] = "Text Document";
            EXPECT_EQ(expected, sandbox_.AllValues());
        } else {
            EXPECT_EQ(E_FAIL, hr) << "allocation " << n;
            Values expected{{"txtfile|(default)<key>", ""}, {"txtfile|(default)", "Text Document"}};
            Values after = sandbox_.AllValues();
            after.erase("CLSID|(default)<key>");  // "CLSID" is no row's key: it may stay
            EXPECT_EQ(expected, after) << "allocation " << n
                                       << ": every row's key is gone, the one that was there before too";
        }
    }
    EXPECT_TRUE(succeeded);
}

// Copies the built library to dir/name and registers that copy.
HRESULT RegisterCopyAt(const std::string& dir, const std::string& name) {
    if (std::system(("mkdir -p '" + dir + "' && cp '" QUORVEL_LIBRARY_PATH "' '" + dir + "/" + name + "'").c_str()))
        return E_UNEXPECTED;
    qvtest::ModuleLibrary library(dir + "/" + name);
    if (!library.Loaded()) return E_UNEXPECTED;
    return library.Get<qvtest::EntryPoint>("DllRegisterServer")();
}

// A library path of 260 bytes or more leaves the registry untouched; one
// that fits, while its folder plus "MSDAOSP.DLL" passes 260 characters, fails
// the registration and undoes it whole.
TEST_F(RegistrationTest, PathsThatDoNotFitFailTheRegistration) {
    ASSERT_EQ(ERROR_SUCCESS, qvtest::CreateRegistryKey("Quorvel", nullptr, "an older registration"));
    Values before = sandbox_.AllValues();
    std::string base = sandbox_.Directory() + "/";
    EXPECT_EQ(E_FAIL, RegisterCopyAt(base + std::string(120, 'd') + "/" + std::string(120, 'e'), "Quorvel.so"));
    EXPECT_EQ(before, sandbox_.AllValues());
    std::string dir = base + std::string(120, 'd') + "/" + std::string(255 - 4 - base.size() - 121, 'e');
    ASSERT_EQ(255u, dir.size() + 4);
    EXPECT_EQ(E_FAIL, RegisterCopyAt(dir, "q.so"));
    EXPECT_EQ(Values({{"CLSID|(default)<key>", ""}}), sandbox_.AllValues());
}

TEST_F(RegistrationTest, AnUnreadableRegistryFileIsNeitherRegisteredIntoNorLost) {
    std::string text = "this is not a registry file\n";
    qvtest::fs::create_directories(sandbox_.Directory());
    qvtest::WriteBytes(sandbox_.FilePath(), text);
    EXPECT_EQ(E_FAIL, DllRegisterServer());
    EXPECT_EQ(E_FAIL, DllUnregisterServer());
    EXPECT_EQ(text, qvtest::ReadBytes(sandbox_.FilePath()));
}
#endif

}  // namespace
