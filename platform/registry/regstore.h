// The store file behind the registry functions: a cached tree that is re-read when the
// file changes, and locked writes (lock file, re-read, change, temp file, fsync, rename,
// fsync of the folder).
#pragma once

#include <functional>
#include <string>

#include "platform/registry/regtree.h"

namespace plat::reg::detail {

// Sets the calling thread's RegLastErrorText and returns `code`.
LONG Fail(LONG code, std::string text);

// The calling thread's text of its last failure.
const char* LastErrorText();

// Runs `read` on the current tree under the store's lock. `read` must be short and must
// not call back into the store.
LONG ReadStore(const std::function<LONG(const Tree&)>& read);

// One locked write: the file is read afresh, `change` edits the tree and sets *changed
// when it changed something; then the file is replaced. A failing `change` writes
// nothing.
LONG WriteStore(const std::function<LONG(Tree&, bool* changed)>& change);

// Reads and parses a .reg file (bounded size); `doc` receives its contents.
struct Document;
LONG ReadRegFile(const std::string& path, Document* doc);

}  // namespace plat::reg::detail
