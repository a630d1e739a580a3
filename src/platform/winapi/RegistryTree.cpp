// The Linux registry's keys in memory and their REGEDIT4 text.
#include "RegistryTree.h"

#include <cstdio>
#include <cstring>

#include "Registry.h"

namespace qv {
namespace registry {
namespace {

const char kHeader[] = "REGEDIT4";
const char kHive[] = "HKEY_CLASSES_ROOT";

bool HasControl(const std::string& text) {
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7F) return true;
    return false;
}

bool EqualNoCase(const std::string& a, const std::string& b) { return Fold(a) == Fold(b); }

std::string Quote(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

// A REG_SZ goes out as a quoted string when that reads back as the same bytes:
// one terminator at the end and no control characters (a line break would end
// the line) inside.
bool FitsQuotedString(const Value& value) {
    if (value.type != REG_SZ || value.data.empty() || value.data.back() != '\0') return false;
    std::string text = value.data.substr(0, value.data.size() - 1);
    return text.find('\0') == std::string::npos && !HasControl(text);
}

std::string FormatData(const Value& value) {
    if (FitsQuotedString(value)) return Quote(value.data.substr(0, value.data.size() - 1));
    char buffer[32];
    if (value.type == REG_DWORD && value.data.size() == 4) {
        const auto* b = reinterpret_cast<const unsigned char*>(value.data.data());
        unsigned long dword = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<unsigned long>(b[3]) << 24);
        std::snprintf(buffer, sizeof buffer, "dword:%08lx", dword);
        return buffer;
    }
    std::string out;
    if (value.type == REG_BINARY) {
        out = "hex:";
    } else {
        std::snprintf(buffer, sizeof buffer, "hex(%lx):", static_cast<unsigned long>(value.type));
        out = buffer;
    }
    for (size_t i = 0; i < value.data.size(); ++i) {
        std::snprintf(buffer, sizeof buffer, i ? ",%02x" : "%02x", static_cast<unsigned char>(value.data[i]));
        out += buffer;
    }
    return out;
}

void SerializeKey(const Key& key, const std::string& path, std::string& out) {
    if (!path.empty() || !key.values.empty()) {
        out += "\n[";
        out += kHive;
        out += path;
        out += "]\n";
        for (const Value& value : key.values) {
            out += value.name.empty() ? std::string("@") : Quote(value.name);
            out += "=";
            out += FormatData(value);
            out += "\n";
        }
    }
    for (const auto& entry : key.subkeys) SerializeKey(*entry.second, path + "\\" + entry.second->name, out);
}

// Reads a quoted string starting at text[pos] == '"'; pos ends past the closing quote.
bool ReadQuoted(const std::string& text, size_t& pos, std::string& out) {
    out.clear();
    for (++pos; pos < text.size(); ++pos) {
        char c = text[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\' && pos + 1 < text.size() && (text[pos + 1] == '\\' || text[pos + 1] == '"')) c = text[++pos];
        out.push_back(c);
    }
    return false;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool ReadHexBytes(const std::string& text, std::string& out) {
    out.clear();
    size_t pos = 0;
    while (pos < text.size()) {
        while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
        if (pos == text.size()) break;
        if (pos + 1 >= text.size()) return false;
        int high = HexDigit(text[pos]), low = HexDigit(text[pos + 1]);
        if (high < 0 || low < 0) return false;
        out.push_back(static_cast<char>(high * 16 + low));
        pos += 2;
        while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
        if (pos < text.size()) {
            if (text[pos] != ',') return false;
            ++pos;
        }
    }
    return true;
}

bool ReadData(const std::string& text, Value& value) {
    if (!text.empty() && text[0] == '"') {
        size_t pos = 0;
        if (!ReadQuoted(text, pos, value.data)) return false;
        if (text.find_first_not_of(" \t", pos) != std::string::npos) return false;
        value.type = REG_SZ;
        value.data.push_back('\0');
        return true;
    }
    if (text.compare(0, 6, "dword:") == 0) {
        std::string digits = text.substr(6);
        if (digits.size() != 8) return false;
        unsigned long dword = 0;
        for (char c : digits) {
            int d = HexDigit(c);
            if (d < 0) return false;
            dword = dword * 16 + static_cast<unsigned long>(d);
        }
        value.type = REG_DWORD;
        value.data.clear();
        for (int i = 0; i < 4; ++i) value.data.push_back(static_cast<char>((dword >> (8 * i)) & 0xFF));
        return true;
    }
    if (text.compare(0, 4, "hex:") == 0) {
        value.type = REG_BINARY;
        return ReadHexBytes(text.substr(4), value.data);
    }
    if (text.compare(0, 4, "hex(") == 0) {
        size_t close = text.find("):");
        if (close == std::string::npos || close == 4 || close > 12) return false;
        unsigned long type = 0;
        for (size_t i = 4; i < close; ++i) {
            int d = HexDigit(text[i]);
            if (d < 0) return false;
            type = type * 16 + static_cast<unsigned long>(d);
        }
        value.type = static_cast<DWORD>(type);
        return ReadHexBytes(text.substr(close + 2), value.data);
    }
    return false;
}

void SetValue(Key& key, const Value& value) {
    if (Value* existing = key.FindValue(value.name)) {
        existing->type = value.type;
        existing->data = value.data;
    } else {
        key.values.push_back(value);
    }
}

}  // namespace

std::string Fold(const std::string& name) {
    std::string folded = name;
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return folded;
}

Key* Key::Subkey(const std::string& name) const {
    auto found = subkeys.find(Fold(name));
    return found == subkeys.end() ? nullptr : found->second.get();
}

Value* Key::FindValue(const std::string& name) {
    for (Value& value : values)
        if (EqualNoCase(value.name, name)) return &value;
    return nullptr;
}

bool SplitPath(const char* text, Path& path) {
    path.clear();
    if (!text || !*text) return true;
    std::string component;
    for (const char* p = text;; ++p) {
        if (*p == '\\' || *p == '\0') {
            if (component.empty() || HasControl(component)) return false;
            path.push_back(component);
            component.clear();
            if (*p == '\0') return true;
        } else {
            component.push_back(*p);
        }
    }
}

Key* Tree::Find(const Path& path) {
    Key* key = &root_;
    for (const std::string& name : path) {
        key = key->Subkey(name);
        if (!key) return nullptr;
    }
    return key;
}

Key* Tree::Create(const Path& path, bool& created) {
    created = false;
    Key* key = &root_;
    for (const std::string& name : path) {
        Key* next = key->Subkey(name);
        if (!next) {
            std::unique_ptr<Key> fresh(new Key);
            fresh->name = name;
            next = fresh.get();
            key->subkeys[Fold(name)] = std::move(fresh);
            created = true;
        }
        key = next;
    }
    return key;
}

void Tree::Remove(const Path& path) {
    if (path.empty()) return;
    Path parentPath(path.begin(), path.end() - 1);
    if (Key* parent = Find(parentPath)) parent->subkeys.erase(Fold(path.back()));
}

bool Tree::Parse(const std::string& input, std::string& error) {
    std::vector<std::string> lines;
    size_t start = input.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (start <= input.size()) {
        size_t end = input.find('\n', start);
        if (end == std::string::npos) end = input.size();
        std::string line = input.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }

    Key fresh;
    Key* section = nullptr;
    bool sawHeader = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string line = lines[i];
        size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == ';') continue;
        line = line.substr(first);
        char where[32];
        std::snprintf(where, sizeof where, "line %zu: ", i + 1);
        if (!sawHeader) {
            if (line.find_last_not_of(" \t") + 1 != std::strlen(kHeader) || line.compare(0, 8, kHeader) != 0) {
                error = std::string(where) + "the file does not start with " + kHeader;
                return false;
            }
            sawHeader = true;
            continue;
        }
        if (line[0] == '[') {
            size_t close = line.rfind(']');
            if (close == std::string::npos) {
                error = std::string(where) + "a section without its closing ']'";
                return false;
            }
            std::string name = line.substr(1, close - 1);
            size_t hiveLength = std::strlen(kHive);
            if (!EqualNoCase(name.substr(0, hiveLength), kHive) ||
                (name.size() > hiveLength && name[hiveLength] != '\\')) {
                error = std::string(where) + "only keys below " + kHive + " are kept here";
                return false;
            }
            Path path;
            if (!SplitPath(name.size() > hiveLength ? name.c_str() + hiveLength + 1 : "", path)) {
                error = std::string(where) + "a key name with an empty part";
                return false;
            }
            section = &fresh;
            for (const std::string& component : path) {
                Key* next = section->Subkey(component);
                if (!next) {
                    std::unique_ptr<Key> key(new Key);
                    key->name = component;
                    next = key.get();
                    section->subkeys[Fold(component)] = std::move(key);
                }
                section = next;
            }
            continue;
        }
        if (!section) {
            error = std::string(where) + "a value outside any key";
            return false;
        }
        Value value;
        size_t pos = 0;
        if (line[0] == '@') {
            pos = 1;
        } else if (line[0] != '"' || !ReadQuoted(line, pos, value.name) || value.name.empty()) {
            error = std::string(where) + "neither a key nor a value";
            return false;
        }
        pos = line.find_first_not_of(" \t", pos);
        if (pos == std::string::npos || line[pos] != '=') {
            error = std::string(where) + "a value without '='";
            return false;
        }
        std::string data = line.substr(line.find_first_not_of(" \t", pos + 1) == std::string::npos
                                           ? line.size()
                                           : line.find_first_not_of(" \t", pos + 1));
        // Long binary data continues on the next lines after a backslash.
        while (data.compare(0, 3, "hex") == 0 && !data.empty() && data.back() == '\\' && i + 1 < lines.size()) {
            data.pop_back();
            std::string next = lines[++i];
            size_t indent = next.find_first_not_of(" \t");
            data += indent == std::string::npos ? std::string() : next.substr(indent);
        }
        if (!ReadData(data, value)) {
            error = std::string(where) + "a value whose data cannot be read";
            return false;
        }
        SetValue(*section, value);
    }
    if (!sawHeader && !input.empty() && input.find_first_not_of(" \t\r\n") != std::string::npos) {
        error = "the file does not start with REGEDIT4";
        return false;
    }
    root_.subkeys.swap(fresh.subkeys);
    root_.values.swap(fresh.values);
    return true;
}

std::string Tree::Serialize() const {
    std::string out = kHeader;
    out += "\n";
    SerializeKey(root_, std::string(), out);
    return out;
}

}  // namespace registry
}  // namespace qv
