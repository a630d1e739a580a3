// The peer loader of the benchmark: what a user would write instead of
// Quorvel, Debian's libcsv filling std::vector<std::vector<std::string>>, and
// the floor (the file read whole and the same bytes written). Prints one line
// of JSON with its timings in seconds.
//
//   csv_peer load FILE         parse into vectors of strings, then free them
//   csv_peer save FILE OUT     the same, then write every field quoted to OUT
//   csv_peer floor FILE OUT    read FILE, write its bytes to OUT
#include <csv.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

typedef std::chrono::steady_clock Clock;
typedef std::vector<std::vector<std::string>> Table;

double Seconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

struct Loader {
    Table table;
    std::vector<std::string> row;
    static void Field(void* text, size_t length, void* data) {
        static_cast<Loader*>(data)->row.emplace_back(static_cast<const char*>(text), length);
    }
    // Each row is reserved to the width of the last, as a careful loader
    // would reserve it.
    static void End(int, void* data) {
        auto* self = static_cast<Loader*>(data);
        const size_t width = self->row.size();
        self->table.push_back(std::move(self->row));
        self->row = std::vector<std::string>();
        self->row.reserve(width);
    }
};

bool Load(const char* path, Table& table) {
    FILE* in = std::fopen(path, "rb");
    if (!in) return false;
    csv_parser parser;
    csv_init(&parser, 0);
    Loader loader;
    std::vector<char> block(1 << 20);
    size_t got;
    bool ok = true;
    while ((got = std::fread(block.data(), 1, block.size(), in)) > 0)
        if (csv_parse(&parser, block.data(), got, Loader::Field, Loader::End, &loader) != got) ok = false;
    csv_fini(&parser, Loader::Field, Loader::End, &loader);
    csv_free(&parser);
    std::fclose(in);
    table.swap(loader.table);
    return ok;
}

bool Save(const Table& table, const char* path) {
    FILE* out = std::fopen(path, "wb");
    if (!out) return false;
    for (const auto& row : table) {
        for (size_t i = 0; i < row.size(); ++i) {
            if (i) std::fputc(',', out);
            csv_fwrite(out, row[i].data(), row[i].size());
        }
        std::fputs("\r\n", out);
    }
    return std::fclose(out) == 0;
}

bool Floor(const char* from, const char* to) {
    FILE* in = std::fopen(from, "rb");
    if (!in) return false;
    std::vector<char> bytes;
    std::vector<char> block(1 << 20);
    size_t got;
    while ((got = std::fread(block.data(), 1, block.size(), in)) > 0)
        bytes.insert(bytes.end(), block.data(), block.data() + got);
    std::fclose(in);
    FILE* out = std::fopen(to, "wb");
    if (!out) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    return std::fclose(out) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    auto t0 = Clock::now();
    if (std::strcmp(argv[1], "floor") == 0) {
        if (argc != 4 || !Floor(argv[2], argv[3])) return 1;
        std::printf("{\"floor\": %.6f}\n", Seconds(t0, Clock::now()));
        return 0;
    }
    bool ok;
    size_t rows = 0, columns = 0;
    {
        Table table;
        ok = Load(argv[2], table);
        rows = table.size();
        for (const auto& row : table)
            if (row.size() > columns) columns = row.size();
        auto t1 = Clock::now();
        std::printf("{\"rows\": %zu, \"columns\": %zu, \"load\": %.6f", rows, columns, Seconds(t0, t1));
        if (std::strcmp(argv[1], "save") == 0) {
            ok = argc == 4 && Save(table, argv[3]) && ok;
            std::printf(", \"write\": %.6f", Seconds(t1, Clock::now()));
        }
    }
    std::printf(", \"ok\": %s}\n", ok ? "true" : "false");
    return ok ? 0 : 1;
}
