// Benchmark of a table over large generated files: load time, a full
// getVariant scan, the save after one edit, and the peak memory, as MB/s and
// bytes per cell. The files are the same on every run (a fixed generator).
//
//   quorvel_bench [folder] [--quick] [--case narrow|wide]
//
// folder receives the generated files (default: the temporary directory);
// --quick makes them a tenth of the size; --case runs one file in this
// process (without it, each runs in a process of its own).
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/Platform.h"
#include "table/VxASCOSPObject.h"

namespace {

namespace fs = std::filesystem;
typedef std::chrono::steady_clock Clock;

double Seconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

// A linear congruential generator: the same fields on every platform.
struct Generator {
    uint64_t state;
    unsigned Next(unsigned below) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<unsigned>((state >> 33) % below);
    }
};

// Writes lines x fields; fields of 3 to 12 letters and digits, about one in
// ten quoted with a comma inside. Returns the file's size in bytes.
uintmax_t Generate(const fs::path& path, long lines, int fields) {
    static const char kAlphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 ";
    Generator random{static_cast<uint64_t>(lines) * 31 + static_cast<uint64_t>(fields)};
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::string line;
    for (long l = 0; l < lines; ++l) {
        line.clear();
        for (int f = 0; f < fields; ++f) {
            if (f) line.push_back(',');
            unsigned length = 3 + random.Next(10);
            bool quoted = random.Next(10) == 0;
            if (quoted) line.push_back('"');
            for (unsigned i = 0; i < length; ++i) {
                line.push_back(quoted && i == length / 2 ? ',' : kAlphabet[random.Next(sizeof kAlphabet - 2)]);
            }
            if (quoted) line.push_back('"');
        }
        line += "\r\n";
        out.write(line.data(), static_cast<std::streamsize>(line.size()));
    }
    out.close();
    return fs::file_size(path);
}

// Resident-set figures of this process in bytes (Linux; 0 elsewhere).
uint64_t StatusValue(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string word;
    while (status >> word) {
        if (word == key) {
            uint64_t kilobytes = 0;
            status >> kilobytes;
            return kilobytes * 1024;
        }
    }
    return 0;
}
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

class BenchTable : public VxASCOSPObject {
public:
    using VxASCOSPObject::SaveToFile;
    using VxASCOSPObject::VxASCOSPObject;
    // One edit: through setVariant where editing exists, else stored directly.
    void EditOneCell() {
        VARIANT value;
        value.vt = VT_BSTR;
        value.bstrVal = SysAllocString(OLESTR("edited"));
        if (FAILED(setVariant(1, 1, OSPFORMAT_RAW, value))) {
            VariantClear(&rows_[1]->cells[0]);
            VariantCopy(&rows_[1]->cells[0], &value);
            modified_ = 1;
        }
        VariantClear(&value);
    }
};

bool Run(const fs::path& path, long lines, int fields) {
    double megabytes = static_cast<double>(Generate(path, lines, fields)) / 1e6;
    std::basic_string<OLECHAR> member;
    for (char c : path.string()) member.push_back(static_cast<OLECHAR>(static_cast<unsigned char>(c)));

    ResetPeak();
    uint64_t base = StatusValue("VmRSS:");
    auto t0 = Clock::now();
    BenchTable* table = nullptr;
    try {
        table = new BenchTable(member.c_str());
    } catch (HRESULT hr) {
        std::printf("load failed: 0x%08X\n", static_cast<unsigned>(hr));
        return false;
    }
    table->AddRef();
    auto t1 = Clock::now();

    DBROWCOUNT rows = 0;
    DB_LORDINAL columns = 0;
    table->getRowCount(&rows);
    table->getColumnCount(&columns);
    uint64_t characters = 0;
    VARIANT cell;
    VariantInit(&cell);
    for (DBROWCOUNT r = 1; r <= rows; ++r) {
        for (DB_LORDINAL c = 1; c <= columns; ++c) {
            table->getVariant(r, c, OSPFORMAT_RAW, &cell);
            characters += SysStringLen(cell.bstrVal);
            VariantClear(&cell);
        }
    }
    auto t2 = Clock::now();

    table->EditOneCell();
    HRESULT saved = table->SaveToFile();
    auto t3 = Clock::now();
    uint64_t peak = StatusValue("VmHWM:");
    table->Release();

    double cells = static_cast<double>(rows) * static_cast<double>(columns);
    double load = Seconds(t0, t1), scan = Seconds(t1, t2), save = Seconds(t2, t3);
    std::printf("%ld lines x %d fields, %.1f MB (%ld rows, %ld columns, %.0f cells, %llu characters)\n", lines, fields,
                megabytes, static_cast<long>(rows), static_cast<long>(columns), cells,
                static_cast<unsigned long long>(characters));
    std::printf("  load  %7.3f s  %7.1f MB/s\n", load, megabytes / load);
    std::printf("  scan  %7.3f s  %7.1f MB/s  %6.1f ns per cell\n", scan, megabytes / scan, scan * 1e9 / cells);
    std::printf("  save  %7.3f s  %7.1f MB/s  (0x%08X)\n", save, megabytes / save, static_cast<unsigned>(saved));
    if (peak)
        std::printf("  peak  %7.1f MB above the start, %.1f bytes per cell\n", static_cast<double>(peak - base) / 1e6,
                    static_cast<double>(peak - base) / cells);
    fs::remove(path);
    return rows == lines && columns == fields && saved == S_OK;
}

}  // namespace

int main(int argc, char** argv) {
    fs::path folder = fs::temp_directory_path();
    long scale = 1;
    const char* only = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0)
            scale = 10;
        else if (std::strcmp(argv[i], "--case") == 0 && i + 1 < argc)
            only = argv[++i];
        else
            folder = argv[i];
    }
    if (only) {
        bool narrow = std::strcmp(only, "narrow") == 0;
        return Run(folder / ("quorvel-bench-" + std::string(only) + ".txt"), (narrow ? 1000000 : 100000) / scale,
                   narrow ? 10 : 100)
                   ? 0
                   : 1;
    }
    // Each case runs in a process of its own, so that its peak memory is its own.
    int failures = 0;
    for (const char* name : {"narrow", "wide"}) {
        std::string command = "\"" + std::string(argv[0]) + "\" --case " + name + " \"" + folder.string() + "\"" +
                              (scale > 1 ? " --quick" : "");
        std::fflush(stdout);
        if (std::system(command.c_str()) != 0) ++failures;
    }
    return failures ? 1 : 0;
}
