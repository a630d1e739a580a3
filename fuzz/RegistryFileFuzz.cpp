// Fuzzes the reader of the Linux registry file: any text is either refused,
// leaving the registry as it was, or read into keys and values whose REGEDIT4
// text reads back to the same keys and values, and is its own text again.
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "platform/winapi/RegistryTree.h"

namespace {

const char kKnown[] =
    "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\Quorvel]\n@=\"Quorvel\"\n\"n\"=dword:0000002a\n"
    "\n[HKEY_CLASSES_ROOT\\Quorvel\\CLSID]\n@=hex:01,02\n";

// Every key path and value of a tree, as one comparable list.
void Flatten(const qv::registry::Key& key, const std::string& path, std::vector<std::string>& out) {
    out.push_back("[" + path + "]");
    for (const qv::registry::Value& value : key.values)
        out.push_back(value.name + "=" + std::to_string(value.type) + ":" + value.data);
    for (const auto& entry : key.subkeys) {
        QV_REQUIRE(entry.first == qv::registry::Fold(entry.second->name));
        Flatten(*entry.second, path + "\\" + entry.second->name, out);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    qv::registry::Tree tree;
    std::string error;
    QV_REQUIRE(tree.Parse(kKnown, error));
    const std::string before = tree.Serialize();

    if (!tree.Parse(text, error)) {
        QV_REQUIRE(!error.empty());
        QV_REQUIRE(tree.Serialize() == before);
        return 0;
    }
    std::vector<std::string> read;
    Flatten(tree.Root(), "", read);
    const std::string written = tree.Serialize();
    qv::registry::Tree again;
    if (!again.Parse(written, error)) {
        std::fprintf(stderr, "the registry's own text is refused: %s\n%s", error.c_str(), written.c_str());
        std::abort();
    }
    std::vector<std::string> reread;
    Flatten(again.Root(), "", reread);
    QV_REQUIRE(reread == read);
    QV_REQUIRE(again.Serialize() == written);
    return 0;
}
