// Files made to break a loader: empty, huge, endless lines, endless columns,
// binary bytes, other encodings, a file that changes while it is read. Each
// loads, or fails with a clear HRESULT, without a crash and in memory bounded
// by what it holds; whatever loaded is saved and loads again to the same
// cells.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>
#endif

#include "support/ChildProcess.h"
#include "support/TableProbe.h"

namespace qvtest {
namespace {

// The memory of a load is measured in a child process.
#if QV_LINUX_MAIN_BUILD

const bool kMeasuresMemory = !kUnderSanitizer;

// What a loaded cell costs: the release benchmark's resident memory divided
// by the cells of its narrow file (1,000,000 lines of 10 fields of 3 to 12
// characters), from `bash bench/run.sh --only narrow --runs 1`: 167 MB for
// 10,000,000 cells.
const double kBytesPerCell = 17;
// The bytes of file text that one of those cells holds on average (the narrow
// file's 88 MB divided by its 10,000,000 cells, same command). A file of few,
// long fields costs by its text: each this many of its bytes count as a cell.
const double kFileBytesPerCell = 8.8;
const double kFixedBytes = 64.0 * (1 << 20);

// Writes a generated file and counts its fields as delimiters plus lines.
class Generator {
public:
    explicit Generator(const fs::path& path) : file_(std::fopen(path.c_str(), "wb")) {}
    ~Generator() {
        if (file_) std::fclose(file_);
    }
    void Put(const std::string& bytes, long long times = 1) {
        for (long long i = 0; i < times; ++i) std::fwrite(bytes.data(), 1, bytes.size(), file_);
        for (char c : bytes) {
            if (c == ',') fields_ += times;
            if (c == '\n') fields_ += times;
        }
        if (!bytes.empty()) ended_ = bytes.back() == '\n';
    }
    // The field count, a final line without a line break included.
    long long Fields() const { return fields_ + (ended_ ? 0 : 1); }

private:
    FILE* file_;
    long long fields_ = 0;
    bool ended_ = true;
};

// Generators of the hostile files.
void Nothing(Generator&) {}
void OnlyLineBreaks(Generator& g) { g.Put("\r\n\n", 500); }
void LongLine(Generator& g) { g.Put(std::string(1 << 20, 'x'), 50); }  // 50 MB, no line break at all
void EmptyLines(Generator& g) { g.Put(std::string(1000, '\n'), 1000); }
void TenThousandColumns(Generator& g) {
    std::string line;
    for (int i = 0; i < 10000; ++i) line += i ? ",ab" : "ab";
    g.Put(line + "\n", 100);
}
void WideLast(Generator& g) {
    g.Put("one\n", 200000);
    std::string line = "f";
    for (int i = 1; i < 5001; ++i) line += ",f";
    g.Put(line + "\n");
}
void ManyDelimiters(Generator& g) {
    g.Put(std::string(1 << 20, ','), 19);
    g.Put(std::string(20000000 - 19 * (1 << 20), ','));
    g.Put("\n");
}
void NulBytes(Generator& g) { g.Put(std::string("a\0b,\0,c\0\0\n\0\n", 12), 1000); }
void CtrlZInTheMiddle(Generator& g) {
    g.Put("a,b\n", 1000);
    g.Put("c,\x1A,d\n");  // nothing from here on is part of the file
    g.Put("e,f,g,h\n", 1000);
}
void UnclosedQuotes(Generator& g) { g.Put("a,\"b,c\nd\"\"\",\"e\n\"\n", 1000); }
void HighBytes(Generator& g) {
    std::string line;
    for (int b = 0x80; b <= 0xFF; ++b) line += static_cast<char>(b) + std::string(b % 8 ? "" : ",");
    g.Put(line + "\n", 1000);
}
void ByteOrderMark(Generator& g) {
    g.Put("\xEF\xBB\xBF");
    g.Put("a,b\n", 1000);
}
void Utf16(Generator& g) {
    g.Put("\xFF\xFE");
    g.Put(std::string("a\0,\0b\0\r\0\n\0", 10), 1000);
}
void CarriageReturnsOnly(Generator& g) { g.Put("a,b\rc,d\r", 1000); }

struct HostileFile {
    const char* name;
    void (*generate)(Generator&);
    HRESULT load;
    LONG rows, columns;  // when it loads
};

const HostileFile kFiles[] = {
    {"0 bytes", Nothing, S_OK, 0, 100},
    {"only line breaks", OnlyLineBreaks, S_OK, 1000, 1},
    {"a 50 MB single line", LongLine, S_OK, 1, 1},
    {"1,000,000 empty lines", EmptyLines, S_OK, 1000000, 1},
    {"10,000 columns", TenThousandColumns, S_OK, 100, 10000},
    {"200,000 one-field lines, one of 5,001", WideLast, S_OK, 200001, 5001},
    {"20,000,000 delimiters on one line", ManyDelimiters, S_OK, 1, 20000001},
    {"NUL bytes", NulBytes, S_OK, 2000, 3},
    {"Ctrl-Z in the middle", CtrlZInTheMiddle, S_OK, 1001, 2},
    {"unclosed quotes", UnclosedQuotes, S_OK, 3000, 2},
    {"bytes 0x80-0xFF everywhere", HighBytes, S_OK, 1000, 17},
    {"UTF-8 byte-order mark", ByteOrderMark, S_OK, 1000, 2},
    {"UTF-16", Utf16, S_OK, 1001, 2},
    {"CR-only line ends", CarriageReturnsOnly, S_OK, 1, 2001},
};

// A fingerprint of every data cell of a table, its shape included. A row's
// cells after its last filled one are VT_EMPTY however many of them it holds.
uint64_t Fingerprint(TableProbe& table) {
    uint64_t hash = 1469598103934665603ull;
    auto mix = [&](uint64_t value) {
        for (int i = 0; i < 8; ++i) hash = (hash ^ ((value >> (8 * i)) & 0xFF)) * 1099511628211ull;
    };
    mix(static_cast<uint64_t>(table.Rows()));
    mix(static_cast<uint64_t>(table.ColumnCount()));
    for (LONG r = 1; r <= table.Rows(); ++r) {
        LONG end = table.CellsHeld(r);
        while (end > 0 && table.RowCell(r, end - 1).v.vt == VT_EMPTY) --end;
        mix(static_cast<uint64_t>(end));
        for (LONG c = 0; c < end; ++c) {
            const OwnedVariant held = table.RowCell(r, c);
            const VARIANT& cell = held.v;
            mix(cell.vt);
            if (cell.vt != VT_BSTR) continue;
            UINT length = SysStringLen(cell.bstrVal);
            mix(length);
            for (UINT k = 0; k < length; ++k) hash = (hash ^ cell.bstrVal[k]) * 1099511628211ull;
        }
    }
    return hash;
}

// What a child found with one file.
struct Outcome {
    HRESULT load = E_UNEXPECTED, save = E_UNEXPECTED, reload = E_UNEXPECTED;
    LONG rows = -1, columns = -1;
    bool same = false;    // the reloaded cells are the loaded ones
    double seconds = 0;   // the load
    double total = 0;     // load, save, load again, compare
    long loadPeakKb = 0;  // resident memory at the end of the load
};

// Loads the file in a child process, saves it, loads it again and compares;
// the child's peak resident memory comes in peakKb.
Outcome LoadSaveReload(const fs::path& file, long* peakKb) {
    int channel[2];
    Outcome outcome;
    if (pipe(channel) != 0) return outcome;
    std::fflush(stdout);
    pid_t pid = fork();
    if (pid == 0) {
        close(channel[0]);
        auto start = std::chrono::steady_clock::now();
        TableRef ref;
        outcome.load = TableProbe::Open(file.string(), &ref.table);
        outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        struct rusage usage;
        getrusage(RUSAGE_SELF, &usage);
        outcome.loadPeakKb = usage.ru_maxrss;
        if (outcome.load == S_OK) {
            outcome.rows = ref->Rows();
            outcome.columns = ref->ColumnCount();
            uint64_t loaded = Fingerprint(*ref.table);
            ref->MarkModified();
            outcome.save = ref->SaveToFile();
            ref.Reset();
            outcome.reload = TableProbe::Open(file.string(), &ref.table);
            outcome.same = outcome.reload == S_OK && Fingerprint(*ref.table) == loaded;
            ref->MarkModified(false);
        }
        outcome.total = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ssize_t written = write(channel[1], &outcome, sizeof outcome);
        _exit(written == static_cast<ssize_t>(sizeof outcome) ? 0 : 1);
    }
    close(channel[1]);
    ssize_t got = pid > 0 ? read(channel[0], &outcome, sizeof outcome) : -1;
    close(channel[0]);
    int status = 0;
    struct rusage usage = {};
    if (pid > 0) wait4(pid, &status, 0, &usage);
    *peakKb = usage.ru_maxrss;
    if (got != static_cast<ssize_t>(sizeof outcome) || !WIFEXITED(status)) {
        outcome = Outcome();
        outcome.load = E_UNEXPECTED;  // the child died: a crash
    }
    return outcome;
}

TEST(HostileFiles, LoadInBoundedMemoryAndSurviveASave) {
#ifdef __SANITIZE_THREAD__
    GTEST_SKIP() << "one thread loads: the address sanitizer's run covers it";
#endif
    TempFolder folder;
    std::printf("[ hostile  ] %-40s %8s %8s %10s %10s %s\n", "file", "load s", "all s", "load MB", "peak MB", "result");
    for (const HostileFile& f : kFiles) {
        const fs::path file = folder / "hostile.txt";
        long long fields = 0;
        {
            Generator g(file);
            f.generate(g);
            fields = g.Fields();
        }
        const double bytes = static_cast<double>(fs::file_size(file));
        long peakKb = 0;
        Outcome o = LoadSaveReload(file, &peakKb);
        fs::remove(file);

        char result[96];
        std::snprintf(result, sizeof result, "0x%08X, %ld x %ld", static_cast<unsigned>(o.load), (long)o.rows,
                      (long)o.columns);
        std::printf("[ hostile  ] %-40s %8.2f %8.2f %10.1f %10.1f %s\n", f.name, o.seconds, o.total,
                    o.loadPeakKb / 1024.0, peakKb / 1024.0, result);
        EXPECT_EQ(f.load, o.load) << f.name;
        if (o.load != S_OK) continue;
        EXPECT_EQ(f.rows, o.rows) << f.name;
        EXPECT_EQ(f.columns, o.columns) << f.name;
        EXPECT_EQ(S_OK, o.save) << f.name;
        EXPECT_EQ(S_OK, o.reload) << f.name;
        EXPECT_TRUE(o.same) << f.name << ": the cells read back differ";
        if (kMeasuresMemory) {
            const double cells = std::max(static_cast<double>(fields), bytes / kFileBytesPerCell);
            const double bound = 4 * cells * kBytesPerCell + kFixedBytes;
            EXPECT_LE(peakKb * 1024.0, bound) << f.name << ": " << fields << " fields, " << bytes << " bytes";
        }
    }
}

// A file that another process appends to and cuts back while it is loaded:
// the load gives cells that the file held, or fails with a clear HRESULT.
// Whatever the file holds is always the start of the same text, so a loaded
// row k is line k of it, or (the last row) the start of that line.
std::string LineText(long k) { return k == 1 ? "1" : std::to_string(k) + "," + std::to_string(3 * k) + ",end"; }

TEST(HostileFiles, FileThatGrowsAndShrinksWhileLoaded) {
    TempFolder folder;
    const fs::path file = folder / "moving.txt";
    const long kLines = 50000;  // 1 MB at the start: the load reads several blocks
    std::string whole;
    for (long k = 1; k <= 2 * kLines; ++k) whole += LineText(k) + "\n";
    const size_t startSize = whole.size() / 2;
    int counts[2] = {0, 0};  // loaded, refused
    int torn = 0;            // rows read across a hole
    for (int trial = 0; trial < 8; ++trial) {
        WriteBytes(file, whole.substr(0, startSize));
        std::atomic<bool> loaded{false};
        // Byte o of the file is byte o of whole, or a zero of the hole that a
        // cut leaves for a moment: it is cut back (to half or a quarter of
        // whole, through a line or not) and written on again while the load
        // reads it.
        std::thread mover([&] {
            int fd = ::open(file.c_str(), O_WRONLY | O_CLOEXEC);
            if (fd < 0) return;
            const size_t cut = trial % 2 ? startSize : startSize / 2 + 3;
            while (!loaded.load()) {
                if (ftruncate(fd, static_cast<off_t>(cut)) != 0) break;
                for (size_t at = cut; at < whole.size() && !loaded.load(); at += 4096)
                    if (pwrite(fd, whole.data() + at, std::min<size_t>(4096, whole.size() - at),
                               static_cast<off_t>(at)) < 0)
                        break;
            }
            ::close(fd);
        });
        TableRef ref;
        HRESULT hr = TableProbe::Open(file.string(), &ref.table);
        loaded = true;
        mover.join();
        ++counts[hr == S_OK ? 0 : 1];
        if (hr != S_OK) {
            EXPECT_EQ(ASC_E_FILEACCESS, hr) << std::hex << hr;
            continue;
        }
        const LONG rows = ref->Rows();
        ASSERT_GE(rows, 1);
        // Rows are the file's lines in order. A row read across a hole holds
        // its zeros, and may run into the next lines where a line break was
        // a zero then: after it the lines go on from any later one.
        long previous = 0;
        bool afterHole = false, holes = false;
        for (LONG r = 1; r <= rows; ++r) {
            std::vector<std::string> cells = ref->Cells(r);
            std::string text;
            for (const std::string& cell : cells)
                if (cell != "<empty>") text += (text.empty() ? "" : ",") + cell;
            if (text.find('\0') != std::string::npos) {
                ++torn;
                afterHole = holes = true;
                continue;
            }
            if (afterHole && r == rows) break;  // a start of some later line: which one is not known
            const long k = afterHole ? std::atol(text.c_str()) : previous + 1;
            ASSERT_GT(k, previous) << "row " << r << ": " << text;
            if (r < rows) {
                ASSERT_EQ(LineText(k), text) << "row " << r << " of " << rows;
            } else {
                ASSERT_EQ(0u, LineText(k).rfind(text, 0)) << "last row " << r << ": " << text;
            }
            previous = k;
            afterHole = false;
        }
        if (!holes) {
            ASSERT_EQ(3, ref->ColumnCount());
        }
        // What loaded is saved and loads again alike.
        uint64_t before = Fingerprint(*ref.table);
        ref->MarkModified();
        ASSERT_EQ(S_OK, ref->SaveToFile());
        ref.Reset();
        ASSERT_EQ(S_OK, TableProbe::Open(file.string(), &ref.table));
        EXPECT_EQ(before, Fingerprint(*ref.table));
    }
    std::printf("[ moving   ] %d loads gave cells, %d were refused, %d rows held a hole's zeros\n", counts[0],
                counts[1], torn);
}

#endif

}  // namespace
}  // namespace qvtest
