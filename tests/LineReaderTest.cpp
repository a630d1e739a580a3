// The line reader against a plain split of the same bytes, whatever sizes
// the source's reads come in: lines, their bytes, and that every line handed
// out stays where it lies while the later ones are read.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "table/VxLineReader.h"

namespace {

// A string as a source that hands out at most `most` bytes a read, and
// fails where told.
struct StringSource : VxByteSource {
    std::string bytes;
    size_t most;
    size_t failAt;
    size_t at = 0;
    StringSource(std::string text, size_t most, size_t failAt = std::string::npos)
        : bytes(std::move(text)), most(most), failAt(failAt) {}
    long long Read(void* into, size_t count) override {
        if (at >= failAt) return -1;
        count = std::min({count, most, bytes.size() - at});
        std::memcpy(into, bytes.data() + at, count);
        at += count;
        return static_cast<long long>(count);
    }
};

std::vector<std::string> PlainLines(std::string bytes) {
    bytes = bytes.substr(0, bytes.find('\x1A'));
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t feed; (feed = bytes.find('\n', start)) != std::string::npos; start = feed + 1) {
        const size_t end = feed > start && bytes[feed - 1] == '\r' ? feed - 1 : feed;
        lines.push_back(bytes.substr(start, end - start));
    }
    if (start < bytes.size()) lines.push_back(bytes.substr(start));
    return lines;
}

TEST(LineReader, LinesAreThePlainSplitWhateverTheReadSizes) {
    const char alphabet[] = {'a', '\r', '\n', '\n', '\0', 'b'};
    unsigned seed = 7;
    auto next = [&seed](unsigned below) { return ((seed = seed * 1103515245 + 12345) >> 16) % below; };
    std::vector<std::string> inputs = {"",
                                       "\n",
                                       "a\r",
                                       "a\r\r\nb",
                                       "a\nb\x1A"
                                       "c\n",
                                       std::string(VxLineReader::kFirstBlockSize - 1, 'x') + "\r\ny\n" +
                                           std::string(3 * VxLineReader::kBlockSize, 'z') + "\n\n" +
                                           std::string(VxLineReader::kBlockSize, 'w')};
    for (int n = 0; n < 40; ++n) {
        std::string bytes;
        for (unsigned i = next(3000); i > 0; --i) bytes += alphabet[next(sizeof alphabet)];
        inputs.push_back(bytes);
    }
    for (const std::string& bytes : inputs) {
        for (size_t most : {size_t(1), size_t(7), size_t(4096), std::string::npos}) {
            if (bytes.size() > 10000 && most < 4096) continue;
            VxTableBlocks blocks;
            StringSource source(bytes, most);
            VxLineReader reader(source, blocks);
            std::vector<std::pair<const unsigned char*, size_t>> lines;
            unsigned char* line = nullptr;
            size_t length = 0;
            HRESULT hr;
            while ((hr = reader.Next(&line, &length)) == S_OK) lines.emplace_back(line, length);
            ASSERT_EQ(S_FALSE, hr);
            std::vector<std::string> read;
            for (const auto& l : lines) read.emplace_back(reinterpret_cast<const char*>(l.first), l.second);
            ASSERT_EQ(PlainLines(bytes), read) << "read " << most << " bytes at a time";
        }
    }
}

TEST(LineReader, AFailedReadFailsTheLine) {
    VxTableBlocks blocks;
    StringSource source("a\nb\n", 2, 2);
    VxLineReader reader(source, blocks);
    unsigned char* line = nullptr;
    size_t length = 0;
    EXPECT_EQ(S_OK, reader.Next(&line, &length));
    EXPECT_EQ(E_FAIL, reader.Next(&line, &length));
}

}  // namespace
