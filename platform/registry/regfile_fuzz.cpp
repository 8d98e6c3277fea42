// Any bytes into the .reg parser: no crash, and whatever parses writes back to text
// that parses to the same tree (and writes to the same text again).
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/registry/regfile.h"

using namespace plat::reg::detail;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    Document doc;
    ParseError error;
    if (!ParseRegText(text, &doc, &error)) {
        if (error.message.empty()) abort();
        return 0;
    }
    Tree tree;
    ApplyDocument(doc, &tree);
    std::string written = WriteRegText(tree);
    Document doc2;
    if (!ParseRegText(written, &doc2, &error)) abort();
    Tree tree2;
    ApplyDocument(doc2, &tree2);
    if (!(tree == tree2)) abort();
    if (WriteRegText(tree2) != written) abort();
    return 0;
}
