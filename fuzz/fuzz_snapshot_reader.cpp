// Any byte string loads without a crash, counting it finds what loading it finds, and what it
// loads into writes out as a well-formed file that reads back into the same tree: writing
// that tree again gives the same bytes.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "document/snapshot_file.h"
#include "document/snapshot_tree.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zelvane;
    SnapshotTree tree;
    const LoadStats stats =
        decodeSnapshot(std::string_view(reinterpret_cast<const char*>(data), size), tree);
    if (stats.records != tree.size()) {
        std::abort();
    }
    // Counting without a tree finds the same.
    const LoadStats counted =
        countSnapshot(std::string_view(reinterpret_cast<const char*>(data), size));
    if (counted.roots != stats.roots || counted.folders != stats.folders ||
        counted.files != stats.files || counted.records != stats.records ||
        counted.utf16Records != stats.utf16Records || counted.longNames != stats.longNames ||
        counted.orphanRecords != stats.orphanRecords || counted.depthJumps != stats.depthJumps ||
        counted.wellFormed() != stats.wellFormed()) {
        std::abort();
    }
    std::string first;
    encodeSnapshot(tree, first);
    SnapshotTree again;
    const LoadStats second = decodeSnapshot(first, again);
    if (second.firstRecordDeep || second.orphanRecords != 0 || second.depthJumps != 0 ||
        second.truncatedName || second.truncatedRecord || second.records != stats.records) {
        // Deep trees (over 255 levels) are the one case that cannot be stored faithfully.
        if (second.deepestLevel < 255) {
            std::abort();
        }
    }
    std::string rewritten;
    encodeSnapshot(again, rewritten);
    if (rewritten != first && second.deepestLevel < 255) {
        std::abort();
    }
    return 0;
}
