// Helpers of the loader, writer, save and edit tests: a private folder per
// test, a temporary file that can be made impossible to update, whole-file
// reads and writes, environment overrides, and tables opened from a
// data-member string whose protected state the tests reach.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <grp.h>
#include <linux/fs.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "TestSupport.h"
#include "common/Guids.h"
#include "common/HResults.h"
#include "platform/ReplacementFile.h"

namespace qvtest {

namespace fs = std::filesystem;

// A folder on another file system than the temporary directory's, or an
// empty path where the machine has none.
inline fs::path OtherVolume() {
#ifdef _WIN32
    fs::path other = "Z:\\dev\\shm";  // another file system when run under Wine
#else
    fs::path other = "/dev/shm";
#endif
    std::error_code error;
    return fs::is_directory(other, error) ? other : fs::path();
}

inline std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Names of the entries of a folder, sorted.
inline std::vector<std::string> Entries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The entries of folder whose names start with prefix: kept files.
inline std::vector<std::string> EntriesStartingWith(const fs::path& folder, const std::string& prefix) {
    std::vector<std::string> names;
    for (const std::string& name : Entries(folder))
        if (name.compare(0, prefix.size(), prefix) == 0) names.push_back(name);
    return names;
}

inline unsigned long ProcessId() {
#ifdef _WIN32
    return GetCurrentProcessId();
#else
    return static_cast<unsigned long>(getpid());
#endif
}

#ifndef _WIN32
// The unprivileged account (user and group) that tests act as where root
// would be spared a permission check.
constexpr uid_t kNobody = 65534;

// Runs body (returning bool) in a child process that acts as kNobody. Needs
// root. 0 when body returned true, 1 when false, 2 when the child could not
// become kNobody, 3 when it did not end normally.
template <class Body>
int AsNobody(Body body) {
    pid_t pid = fork();
    if (pid == 0) {
        if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(2);
        _exit(body() ? 0 : 1);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return 3;
    return WEXITSTATUS(status);
}

// Exit status of a child that could not set up what a test needs.
constexpr int kChildCannot = 77;

// Runs body in a child process with a mount namespace of its own, in which a
// memory file system of the given size is mounted on the existing folder
// mountPoint; body may remount it (MountReadOnly). Nothing of it reaches the
// test's own process. Needs the right to make a mount namespace (root, as in
// CI). 0 when body raised no test failure, 1 when it did, kChildCannot when
// the mount could not be made, 3 when the child did not end normally.
template <class Body>
int OnOwnMemoryFileSystem(const fs::path& mountPoint, size_t bytes, Body body) {
    fflush(stdout);
    pid_t pid = fork();
    if (pid == 0) {
        std::string options = "size=" + std::to_string(bytes);
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, options.c_str()) != 0)
            _exit(kChildCannot);
        const ::testing::TestResult* result = ::testing::UnitTest::GetInstance()->current_test_info()->result();
        const int before = result->total_part_count();
        body();
        fflush(stdout);
        for (int i = before; i < result->total_part_count(); ++i)
            if (result->GetTestPartResult(i).failed()) _exit(1);
        _exit(0);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return 3;
    return WEXITSTATUS(status);
}

// Sets or clears the immutable flag of a file or folder (root, on a file
// system that has it); false when it cannot.
inline bool SetImmutable(const fs::path& path, bool on) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    int flags = 0;
    bool set = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (set) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        set = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return set;
}

// How many descriptors the process has open.
inline size_t OpenDescriptors() {
    size_t count = 0;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) count += entry.path().empty() ? 0 : 1;
    return count;
}

inline bool MountReadOnly(const fs::path& mountPoint) {
    return mount(nullptr, mountPoint.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
}
#endif

// A new empty folder, removed with everything in it at the end of the test.
class TempFolder {
public:
    // Under the given folder (default: the system's temporary directory).
    explicit TempFolder(const fs::path& under = fs::temp_directory_path()) {
        // Test processes run in parallel: the process id keeps their folders
        // apart, and a name already taken is never reused.
        static std::atomic<int> counter{0};
        for (;;) {
            path_ = under / ("qvtest-" + std::to_string(ProcessId()) + "-" + std::to_string(counter++));
            if (fs::create_directory(path_)) break;
        }
    }
    ~TempFolder() {
        std::error_code ignored;
        for (const auto& entry : fs::recursive_directory_iterator(path_, ignored))
            fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(path_, ignored);
    }
    const fs::path& Path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }

private:
    fs::path path_;
};

// A file of given bytes in the temporary directory, removed when the test
// ends, that a test can make impossible to open for update: read-only, and
// where a root user ignores that (Linux, Wine run as root) also immutable on
// Linux or held open without write sharing on Windows.
class TempFile {
public:
    explicit TempFile(const std::string& bytes, const std::string& stem = "quorvel-edit") {
        static std::atomic<int> serial{0};
        path_ = (fs::temp_directory_path() /
                 (stem + "-" + std::to_string(ProcessId()) + "-" + std::to_string(serial++) + ".txt"))
                    .string();
        Write(bytes);
    }
    ~TempFile() {
        MakeWritable();
        std::error_code ignored;
        fs::remove(path_, ignored);
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::string& Path() const { return path_; }
    void Write(const std::string& bytes) { WriteBytes(path_, bytes); }
    std::string Read() const { return ReadBytes(path_); }

    // Makes the file refuse every open for update. Fails the test if it cannot.
    void MakeReadOnly() {
        fs::permissions(path_, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
#ifdef _WIN32
        if (OpensForUpdate())
            holder_ = CreateFileA(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
#else
        if (OpensForUpdate()) SetImmutable(true);
#endif
        ASSERT_FALSE(OpensForUpdate()) << "cannot make " << path_ << " read-only";
    }
    void MakeWritable() {
#ifdef _WIN32
        if (holder_ != INVALID_HANDLE_VALUE) CloseHandle(holder_);
        holder_ = INVALID_HANDLE_VALUE;
#else
        if (immutable_) SetImmutable(false);
#endif
        std::error_code ignored;
        fs::permissions(path_, fs::perms::owner_read | fs::perms::owner_write, ignored);
    }

private:
    bool OpensForUpdate() const {
        std::fstream probe(path_, std::ios::in | std::ios::out | std::ios::binary);
        return probe.is_open();
    }
#ifdef _WIN32
    HANDLE holder_ = INVALID_HANDLE_VALUE;
#else
    void SetImmutable(bool on) {
        if (qvtest::SetImmutable(path_, on)) immutable_ = on;
    }
    bool immutable_ = false;
#endif

    std::string path_;
};

// Sets an environment variable for the life of a scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        const char* old = std::getenv(name);
        hadOld_ = old != nullptr;
        if (old) old_ = old;
        Set(value.c_str());
    }
    ~ScopedEnv() { Set(hadOld_ ? old_.c_str() : nullptr); }

private:
    void Set(const char* value) {
#ifdef _WIN32
        _putenv((name_ + "=" + (value ? value : "")).c_str());
        SetEnvironmentVariableA(name_.c_str(), value);
#else
        if (value)
            setenv(name_.c_str(), value, 1);
        else
            unsetenv(name_.c_str());
#endif
    }
    std::string name_, old_;
    bool hadOld_ = false;
};

#ifdef _WIN32
// Sets an environment variable by its wide value, which the code page may
// lack, for the life of a scope.
class ScopedWideEnv {
public:
    ScopedWideEnv(const wchar_t* name, const std::wstring& value) : name_(name) {
        DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
        hadOld_ = size > 0;
        if (hadOld_) {
            old_.resize(size);
            old_.resize(GetEnvironmentVariableW(name, &old_[0], size));
        }
        Set(value.c_str());
    }
    ~ScopedWideEnv() { Set(hadOld_ ? old_.c_str() : nullptr); }

private:
    void Set(const wchar_t* value) {
        _wputenv((name_ + L"=" + (value ? value : L"")).c_str());
        SetEnvironmentVariableW(name_.c_str(), value);
    }
    std::wstring name_, old_;
    bool hadOld_ = false;
};
#endif

// Points the temporary directory of saves at folder for the life of a scope.
class ScopedTempDirectory {
public:
#ifdef _WIN32
    explicit ScopedTempDirectory(const fs::path& folder)
        : tmp_(L"TMP", folder.wstring() + L"\\"), temp_(L"TEMP", folder.wstring() + L"\\") {}

private:
    ScopedWideEnv tmp_, temp_;
#else
    explicit ScopedTempDirectory(const fs::path& folder)
        : tmp_("TMPDIR", folder.string()), temp_("TMP", folder.string()) {}

private:
    ScopedEnv tmp_, temp_;
#endif
};

// Disarms the write-failure hook when a test ends.
struct WriteFailureGuard {
    ~WriteFailureGuard() { qv::SetWriteFailure(0); }
};

// A table opened from a data-member string, with its protected state in reach.
class FileTable : public VxASCOSPObject {
public:
    using VxASCOSPObject::FormatRow;
    using VxASCOSPObject::SaveToFile;
    using VxASCOSPObject::VxASCOSPObject;
    using VxASCOSPObject::WriteTable;

    // Opens the table (bytes widened); the HRESULT of the construction. The
    // table returned holds one reference.
    static HRESULT Open(const std::string& dataMember, FileTable** table) { return Open(W(dataMember), table); }
    static HRESULT Open(const Wide& dataMember, FileTable** table) {
        *table = nullptr;
        try {
            *table = new FileTable(dataMember.c_str());
        } catch (HRESULT hr) {
            return hr;
        }
        (*table)->AddRef();
        return S_OK;
    }

    LONG Rows() {
        DBROWCOUNT rows = 0;
        getRowCount(&rows);
        return static_cast<LONG>(rows);
    }
    LONG Columns() const { return columnCount_; }
    LONG CellsHeld(int r) { return rows_[r]->cellCount; }
    int RowArraySize() { return rows_.GetSize(); }
    bool Modified() const { return modified_ != 0; }
    Wide Delimiters() const { return Wide(delimiters_); }

    // The cells of row r: "<empty>" for VT_EMPTY, the string's bytes otherwise.
    std::vector<std::string> Cells(int r) {
        std::vector<std::string> out;
        for (LONG i = 0; i < columnCount_; ++i) {
            const VARIANT& cell = rows_[r]->CellOrEmpty(i);
            out.push_back(cell.vt == VT_EMPTY ? "<empty>" : cell.vt == VT_BSTR ? N(cell.bstrVal) : "<other>");
        }
        return out;
    }
    // Cell c (from 0) of row r, VT_EMPTY past the row's cells.
    const VARIANT& RowCell(int r, LONG c) { return rows_[r]->CellOrEmpty(c); }
    // The cell itself; a row with fewer cells grows to it first.
    VARIANT& Cell(int r, int column) {
        EXPECT_EQ(S_OK, GrowRow(rows_[r], column));
        return rows_[r]->cells[column - 1];
    }

    // Stores a copy of value in a cell and marks the table modified, as an edit would.
    void Store(int r, int column, const VARIANT& value) {
        VARIANT& cell = Cell(r, column);
        ClearCell(cell);
        VariantCopy(&cell, const_cast<VARIANT*>(&value));
        modified_ = 1;
    }
    void StoreText(int r, int column, const Wide& text) {
        VARIANT value;
        value.vt = VT_BSTR;
        value.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        Store(r, column, value);
        VariantClear(&value);
    }
    // Edits a cell as a client does, the first edit's check included.
    HRESULT Edit(int r, int column, const Wide& text) {
        VARIANT value;
        value.vt = VT_BSTR;
        value.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        HRESULT hr = setVariant(r, column, OSPFORMAT_RAW, value);
        VariantClear(&value);
        return hr;
    }
    void MarkModified(bool modified = true) { modified_ = modified ? 1 : 0; }
    // Appends a row of no cells, as insertRows makes one.
    void AppendRow() {
        ROWHEADER* row = nullptr;
        ASSERT_EQ(S_OK, AllocRow(0, &row));
        rows_.Add(row);
        modified_ = 1;
    }
};

// Holds the one reference of an opened table.
struct TableRef {
    FileTable* table = nullptr;
    TableRef() = default;
    TableRef(const TableRef&) = delete;
    TableRef& operator=(const TableRef&) = delete;
    ~TableRef() { Reset(); }
    void Reset() {
        if (table) table->Release();
        table = nullptr;
    }
    FileTable* operator->() const { return table; }
};

// The table's save interface as a client gets it, through QueryInterface;
// holds the reference that gives.
struct SaveInterface {
    VxTableSave* save = nullptr;
    explicit SaveInterface(OLEDBSimpleProvider* table) {
        void* out = nullptr;
        EXPECT_EQ(S_OK, table->QueryInterface(IID_VxTableSave, &out));
        save = static_cast<VxTableSave*>(out);
    }
    SaveInterface(const SaveInterface&) = delete;
    SaveInterface& operator=(const SaveInterface&) = delete;
    ~SaveInterface() { Reset(); }
    void Reset() {
        if (save) save->Release();
        save = nullptr;
    }
    VxTableSave* operator->() const { return save; }
    bool Modified() {
        BOOL modified = 2;
        EXPECT_EQ(S_OK, save->getModified(&modified));
        EXPECT_TRUE(modified == TRUE || modified == FALSE);
        return modified == TRUE;
    }
    // "kind path" of what the last save kept; a kind with no path, or a
    // path with nothing kept, fails the test.
    std::string Kept() {
        VXKEPT kind = static_cast<VXKEPT>(-1);
        BSTR path = nullptr;
        EXPECT_EQ(S_OK, save->getKeptFile(&kind, &path));
        EXPECT_EQ(kind == VXKEPT_NOTHING, path == nullptr) << "kind " << kind;
        std::string text = std::to_string(kind) + (path ? " " + N(path) : "");
        SysFreeString(path);
        return text;
    }
};

// Writes bytes to folder/name and opens it with the option ("" for none).
inline HRESULT OpenBytes(const fs::path& file, const std::string& bytes, const std::string& option, TableRef& ref) {
    WriteBytes(file, bytes);
    return FileTable::Open(file.string() + option, &ref.table);
}

// A table without a file, built row by row, whose writer the tests call.
class WriterProbe : public TableProbe {
public:
    using TableProbe::TableProbe;
    using VxASCOSPObject::FormatRow;
    using VxASCOSPObject::WriteTable;

    // An in-memory file for WriteTable: every block handed over is appended.
    struct MemorySink : FileSink {
        std::string bytes;
        int writes = 0;
        bool fail = false;
        bool Write(const void* data, size_t count) override {
            ++writes;
            if (fail) return false;
            bytes.append(static_cast<const char*>(data), count);
            return true;
        }
    };

    void SetDelimitersWide(const Wide& delimiters) { qv::WideCopy(delimiters_, delimiters.c_str(), kMaxDelimiters); }

    // Appends a row whose cells take the values given (VT_EMPTY after them);
    // the table keeps copies.
    void AddRow(const std::vector<VARIANT>& values) {
        ROWHEADER* row = nullptr;
        ASSERT_EQ(S_OK, AllocRow(columnCount_, &row));
        for (size_t i = 0; i < values.size(); ++i) VariantCopy(&row->cells[i], const_cast<VARIANT*>(&values[i]));
        rows_.Add(row);
    }
    // The line FormatRow makes of row r, or the failure in hr.
    std::string Format(int r, HRESULT* hr = nullptr) {
        ByteBuffer line;
        HRESULT result = FormatRow(rows_[r], line);
        if (hr) *hr = result;
        return std::string(line.bytes ? line.bytes : "", line.length);
    }
};

// VARIANTs for building rows; the strings are owned by the Values list.
struct Values {
    std::vector<VARIANT> list;
    ~Values() {
        for (VARIANT& v : list) VariantClear(&v);
    }
    Values& Text(const Wide& text) {
        VARIANT v;
        v.vt = VT_BSTR;
        v.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        list.push_back(v);
        return *this;
    }
    Values& Bytes(const std::string& bytes) { return Text(W(bytes)); }
    Values& Empty() { return Of(VT_EMPTY); }
    Values& Of(VARTYPE vt) {
        VARIANT v;
        VariantInit(&v);
        v.vt = vt;
        list.push_back(v);
        return *this;
    }
    Values& I4(LONG value) {
        Of(VT_I4);
        list.back().lVal = value;
        return *this;
    }
    Values& R8(double value) {
        Of(VT_R8);
        list.back().dblVal = value;
        return *this;
    }
};

}  // namespace qvtest
