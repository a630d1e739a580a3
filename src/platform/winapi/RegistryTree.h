// The keys and values of the Linux registry in memory, and their REGEDIT4
// text. Key and value names are compared without regard to ASCII case, as
// Windows does, and keep the case they were created with.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ComBase.h"

namespace qv {
namespace registry {

struct Value {
    std::string name;  // empty: the key's default value
    DWORD type = 0;
    std::string data;  // the bytes as set, a REG_SZ's terminator included
};

struct Key {
    std::string name;
    std::map<std::string, std::unique_ptr<Key>> subkeys;  // by folded name, so sorted
    std::vector<Value> values;                            // in the order they were first set

    Key* Subkey(const std::string& name) const;
    Value* FindValue(const std::string& name);
};

// A key path below the hive, split at its backslashes.
typedef std::vector<std::string> Path;

// Splits a key path. False when a component is empty (a leading, doubled or
// trailing backslash) or holds a control character, which the text form
// cannot carry. Null or empty text is the empty path.
bool SplitPath(const char* text, Path& path);
std::string Fold(const std::string& name);

class Tree {
public:
    Key& Root() { return root_; }
    // The key at path, or null.
    Key* Find(const Path& path);
    // The key at path, created with any missing key above it.
    Key* Create(const Path& path, bool& created);
    // Removes the key at path (which must exist and be no root).
    void Remove(const Path& path);

    // Replaces the tree by the keys of a REGEDIT4 text. False, with the tree
    // unchanged and a reason in error, when the text is not one this
    // registry wrote or could have written.
    bool Parse(const std::string& text, std::string& error);
    // The REGEDIT4 text: a section for every key, parents before children,
    // subkeys in name order, values in the order they were set.
    std::string Serialize() const;

private:
    Key root_;
};

}  // namespace registry
}  // namespace qv
