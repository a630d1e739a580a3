// The Quorvel side of the benchmark (bench/run.sh drives it): generates the
// benchmark's files, and opens tables through the built library's real entry
// points, as a host does: DllGetClassObject, the class factory, the data
// source and getDataMember. Each mode prints one line of JSON with its
// timings in seconds.
//
//   quorvel_bench generate FILE LINES FIELDS   lines x fields of 3 to 12 characters, ~10% quoted with a comma
//   quorvel_bench generate-wide-last FILE LINES FIELDS   LINES one-field lines, then one line of FIELDS fields
//   quorvel_bench load FILE    load, then release
//   quorvel_bench save FILE    load, one edit, release (which writes the file back)
//   quorvel_bench ops FILE     load, full getVariant scan, finds, insert/delete of one row, edit, release
#include <dlfcn.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "common/Guids.h"
#include "platform/Platform.h"

namespace {

typedef std::chrono::steady_clock Clock;
typedef HRESULT (*GetClassObjectFunction)(REFCLSID, REFIID, void**);

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

int Generate(const char* path, long lines, int fields, bool wideLast) {
    static const char kAlphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 ";
    Generator random{static_cast<uint64_t>(lines) * 31 + static_cast<uint64_t>(fields)};
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::string line;
    auto field = [&](bool quotable) {
        unsigned length = 3 + random.Next(10);
        bool quoted = quotable && random.Next(10) == 0;
        if (quoted) line.push_back('"');
        for (unsigned i = 0; i < length; ++i)
            line.push_back(quoted && i == length / 2 ? ',' : kAlphabet[random.Next(sizeof kAlphabet - 2)]);
        if (quoted) line.push_back('"');
    };
    for (long l = 0; l < lines; ++l) {
        line.clear();
        for (int f = 0; f < (wideLast ? 1 : fields); ++f) {
            if (f) line.push_back(',');
            field(true);
        }
        line += "\r\n";
        out.write(line.data(), static_cast<std::streamsize>(line.size()));
    }
    if (wideLast) {
        line.clear();
        for (int f = 0; f < fields; ++f) {
            if (f) line.push_back(',');
            field(false);
        }
        line += "\r\n";
        out.write(line.data(), static_cast<std::streamsize>(line.size()));
    }
    return out.good() ? 0 : 1;
}

// The library, loaded as a host loads it.
class Provider {
public:
    Provider() {
        library_ = dlopen(QUORVEL_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
        if (!library_) return;
        auto getClassObject = reinterpret_cast<GetClassObjectFunction>(dlsym(library_, "DllGetClassObject"));
        void* out = nullptr;
        if (!getClassObject || FAILED(getClassObject(CLSID_VxASCOSP, IID_IClassFactory, &out))) return;
        auto* factory = static_cast<IClassFactory*>(out);
        if (SUCCEEDED(factory->CreateInstance(nullptr, IID_DataSource, &out))) source_ = static_cast<DataSource*>(out);
        factory->Release();
    }
    ~Provider() {
        if (source_) source_->Release();
        // The library stays loaded: unloading it is no part of what is measured.
    }
    OLEDBSimpleProvider* Open(const char* path) {
        if (!source_) return nullptr;
        std::basic_string<OLECHAR> member;
        for (const char* c = path; *c; ++c) member.push_back(static_cast<OLECHAR>(static_cast<unsigned char>(*c)));
        BSTR name = SysAllocStringLen(member.data(), static_cast<unsigned>(member.size()));
        IUnknown* table = nullptr;
        HRESULT hr = source_->getDataMember(name, IID_OLEDBSimpleProvider, &table);
        SysFreeString(name);
        if (FAILED(hr)) {
            std::fprintf(stderr, "getDataMember failed: 0x%08X\n", static_cast<unsigned>(hr));
            return nullptr;
        }
        return static_cast<OLEDBSimpleProvider*>(table);
    }

private:
    void* library_ = nullptr;
    DataSource* source_ = nullptr;
};

int Measure(const char* mode, const char* path) {
    Provider provider;
    auto t0 = Clock::now();
    OLEDBSimpleProvider* table = provider.Open(path);
    if (!table) return 1;
    auto t1 = Clock::now();
    DBROWCOUNT rows = 0;
    DB_LORDINAL columns = 0;
    table->getRowCount(&rows);
    table->getColumnCount(&columns);
    std::printf("{\"rows\": %ld, \"columns\": %ld, \"load\": %.6f", static_cast<long>(rows), static_cast<long>(columns),
                Seconds(t0, t1));
    bool ok = true;

    if (std::strcmp(mode, "ops") == 0) {
        uint64_t characters = 0;
        VARIANT cell;
        VariantInit(&cell);
        for (DBROWCOUNT r = 1; r <= rows; ++r) {
            for (DB_LORDINAL c = 1; c <= columns; ++c) {
                table->getVariant(r, c, OSPFORMAT_RAW, &cell);
                if (cell.vt == VT_BSTR) characters += SysStringLen(cell.bstrVal);
                VariantClear(&cell);
            }
        }
        auto t2 = Clock::now();
        std::printf(", \"scan\": %.6f, \"characters\": %llu", Seconds(t1, t2),
                    static_cast<unsigned long long>(characters));

        // Finds that visit every row: a string that no cell holds.
        VARIANT sought;
        sought.vt = VT_BSTR;
        sought.bstrVal = SysAllocString(OLESTR("no such value"));
        static const struct {
            const char* name;
            OSPFIND flags;
        } kFinds[] = {{"find_down", OSPFIND_DEFAULT},
                      {"find_up", OSPFIND_UP},
                      {"find_down_case", OSPFIND_CASESENSITIVE},
                      {"find_up_case", OSPFIND_UPCASESENSITIVE}};
        for (const auto& f : kFinds) {
            DBROWCOUNT found = 0;
            DBROWCOUNT start = f.flags == OSPFIND_UP || f.flags == OSPFIND_UPCASESENSITIVE ? rows : 1;
            auto a = Clock::now();
            table->find(start, 1, sought, f.flags, OSPCOMP_EQ, &found);
            auto b = Clock::now();
            if (found != -1) ok = false;
            std::printf(", \"%s\": %.6f", f.name, Seconds(a, b));
        }
        VariantClear(&sought);

        DBROWCOUNT done = 0;
        auto a = Clock::now();
        table->insertRows(rows / 2 + 1, 1, &done);
        auto b = Clock::now();
        table->deleteRows(rows / 2 + 1, 1, &done);
        auto c = Clock::now();
        std::printf(", \"insert\": %.6f, \"delete\": %.6f", Seconds(a, b), Seconds(b, c));
    }
    if (std::strcmp(mode, "load") != 0) {
        VARIANT value;
        value.vt = VT_BSTR;
        value.bstrVal = SysAllocString(OLESTR("edited"));
        if (FAILED(table->setVariant(1, 1, OSPFORMAT_RAW, value))) ok = false;
        VariantClear(&value);
    }
    auto r0 = Clock::now();
    table->Release();  // a modified table writes itself back here
    auto r1 = Clock::now();
    std::printf(", \"release\": %.6f, \"ok\": %s}\n", Seconds(r0, r1), ok ? "true" : "false");
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && (std::strcmp(argv[1], "generate") == 0 || std::strcmp(argv[1], "generate-wide-last") == 0))
        return Generate(argv[2], std::atol(argv[3]), std::atoi(argv[4]), argv[1][8] == '-');
    if (argc == 3 &&
        (std::strcmp(argv[1], "load") == 0 || std::strcmp(argv[1], "save") == 0 || std::strcmp(argv[1], "ops") == 0))
        return Measure(argv[1], argv[2]);
    std::fprintf(stderr, "usage: see the head of bench/TableBench.cpp\n");
    return 2;
}
