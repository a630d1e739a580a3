// Where the Linux registry file lives, its inter-process lock, and its loading
// and atomic replacement. Internal to the registry functions.
#pragma once

#include <string>

#include "RegistryTree.h"

namespace qv {
namespace registry {

// $QUORVEL_REGISTRY, else $XDG_DATA_HOME/quorvel/classes.reg, else
// $HOME/.local/share/quorvel/classes.reg; empty when HOME is not set either.
std::string FilePath();

void BeginTransaction();
void EndTransaction();

// The registry as one operation sees it. Constructing a Session for a change
// joins the current RegistryTransaction of the thread or opens one; a Session
// for reading alone inside no transaction reads the file as it stands (the
// file is only ever replaced whole, so that needs no lock).
class Session {
public:
    explicit Session(bool forChange);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // ERROR_SUCCESS and the tree, or the error that keeps the registry from
    // being read (lock, read, or a file this registry cannot parse).
    LONG Open(Tree*& tree);
    // Writes the tree back by replacing the file. On failure the change is
    // forgotten: the next operation reads the file again.
    LONG Commit();

private:
    bool transacted_ = false;
    Tree* ownTree_ = nullptr;  // a read outside any transaction
};

}  // namespace registry
}  // namespace qv
