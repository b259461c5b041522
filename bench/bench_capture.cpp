// Capture benchmarks: sorting a snapshot of a million nodes, and scanning a big directory.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "capture/directory_scanner.h"
#include "document/tree_order.h"
#include "support/temp_tree.h"
#include "text/utf.h"

namespace {

using namespace zelvane;

// A name of about 20 characters: mostly Latin, some Cyrillic, Greek and CJK, with mixed
// case, digits and an extension.
std::u16string randomName(std::mt19937& random) {
    static const std::u16string latin =
        u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_- ";
    static const std::u16string other =
        u"абвгдежзиклмнопрстуфхцчшщюяαβγδεζηθικλμνξπρστφχψω日本語中文字漢";
    static const std::u16string extensions[] = {u".txt", u".jpg", u".c", u".dll", u".zip", u""};
    std::u16string name;
    const bool foreign = random() % 5 == 0;
    const std::u16string& alphabet = foreign ? other : latin;
    const std::size_t length = 12 + random() % 14;
    for (std::size_t i = 0; i < length; ++i) {
        name.push_back(alphabet[random() % alphabet.size()]);
    }
    name += extensions[random() % std::size(extensions)];
    return name;
}

// One root, 50,000 folders in two levels, 19 files in each: about a million nodes, in
// random order.
void buildSnapshot(SnapshotTree& tree, std::mt19937& random) {
    tree.removeAll();
    const NodeId root = tree.insertLast(kTopLevel, u"Generated disk");
    std::size_t made = 1;
    while (made < 1000000) {
        // GCC 12 at -O3 reports a bogus overlap (-Wrestrict) inside basic_string::insert,
        // which operator+ of a literal and a temporary string uses.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
        const NodeId top = tree.insertLast(root, u" " + randomName(random));
#pragma GCC diagnostic pop
        ++made;
        for (int f = 0; f < 9 && made < 1000000; ++f) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
            const NodeId folder = tree.insertLast(top, u" " + randomName(random));
#pragma GCC diagnostic pop
            ++made;
            for (int i = 0; i < 19 && made < 1000000; ++i) {
                tree.insertLast(folder, randomName(random));
                ++made;
            }
        }
    }
}

void BM_SortTreeMillionNodes(benchmark::State& state) {
    std::mt19937 random(42);
    SnapshotTree tree;
    const TextOrder order("en_US");
    for (auto _ : state) {
        state.PauseTiming();
        buildSnapshot(tree, random);
        state.ResumeTiming();
        SortTree(tree, order);
        benchmark::ClobberMemory();
    }
    state.counters["nodes"] = static_cast<double>(tree.size());
    state.counters["nodes/s"] = benchmark::Counter(static_cast<double>(tree.size()),
                                                   benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_SortTreeMillionNodes)->Unit(benchmark::kMillisecond)->Iterations(3);

// A capture-shaped snapshot of `nodes` nodes in the order a disk gives them (unsorted):
// folders of about ten entries (one of them a folder, on average), names of about 20
// characters, a third of them non-Latin.
void buildCaptureShaped(SnapshotTree& tree, std::mt19937& random, std::size_t nodes) {
    tree.removeAll();
    tree.reserve(nodes, nodes * 21);
    std::vector<NodeId> folders{tree.insertLast(kTopLevel, u"Generated disk")};
    std::size_t made = 1;
    std::size_t next = 0;
    while (made < nodes) {
        const NodeId parent = folders[next < folders.size() ? next++ : random() % folders.size()];
        const std::size_t entries = 1 + random() % 19;
        for (std::size_t i = 0; i < entries && made < nodes; ++i, ++made) {
            std::u16string name = randomName(random);
            if (random() % 3 == 0 && name[0] < 0x80) {
                name[0] = u'\u0436';
                name[3] = u'\u6587';
            }
            if (random() % 10 == 0) {
                folders.push_back(tree.insertLast(parent, u" " + name));
            } else {
                tree.insertLast(parent, name);
            }
        }
    }
}

// The sort at the end of a capture of ten million nodes.
void BM_SortTreeTenMillionCaptured(benchmark::State& state) {
    std::mt19937 random(10);
    SnapshotTree tree;
    const TextOrder order("en_US");
    for (auto _ : state) {
        state.PauseTiming();
        buildCaptureShaped(tree, random, 10000000);
        state.ResumeTiming();
        SortTree(tree, order);
        benchmark::ClobberMemory();
    }
    state.counters["nodes"] = static_cast<double>(tree.size());
}
BENCHMARK(BM_SortTreeTenMillionCaptured)->Unit(benchmark::kMillisecond)->Iterations(1);

// The sort of zelvane-cli scan --append into a snapshot of ten million nodes: the loaded
// nodes are in order, but after a load the tree cannot know it, so every group is looked
// at; only the new branch (a thousand nodes) is out of order.
void BM_SortTreeAfterAppendToTenMillion(benchmark::State& state) {
    std::mt19937 random(10);
    SnapshotTree tree;
    const TextOrder order("en_US");
    for (auto _ : state) {
        state.PauseTiming();
        buildCaptureShaped(tree, random, 10000000);
        SortTree(tree, order);
        const NodeId root = tree.insertLast(kTopLevel, u"Appended");
        for (int i = 0; i < 1000; ++i) {
            tree.insertLast(root, randomName(random));
        }
        state.ResumeTiming();
        SortTree(tree, order);
        benchmark::ClobberMemory();
    }
    state.counters["nodes"] = static_cast<double>(tree.size());
}
BENCHMARK(BM_SortTreeAfterAppendToTenMillion)->Unit(benchmark::kMillisecond)->Iterations(1);

class NullObserver : public ScanObserver {
public:
    void setScanningState(bool) override {}
    void pump() override {}
    void setProgressText(std::u16string_view) override {}
};

void BM_ScanDirectoryOf200000Entries(benchmark::State& state) {
    test::TempTree disk;
    disk.manyFiles("", 200000, "some-file-name-");
    for (auto _ : state) {
        SnapshotTree tree;
        ScanState scan;
        NullObserver observer;
        const NodeId root = tree.insertLast(kTopLevel, u"r");
        DirectoryScanner scanner(tree, scan, observer);
        benchmark::DoNotOptimize(scanner.ScanDirectory(utf8ToUtf16(disk.path()), root));
        if (scan.files != 200000) {
            state.SkipWithError("wrong count");
        }
    }
    state.counters["entries/s"] =
        benchmark::Counter(200000, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ScanDirectoryOf200000Entries)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
