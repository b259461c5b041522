// Speed and size of the snapshot tree and the snapshot file at a million nodes.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <unistd.h>

#include "document/snapshot_file.h"
#include "document/snapshot_tree.h"

namespace {

using namespace zelvane;

constexpr int kNodes = 1000000;

// About 20 characters a name; one name in four with characters above U+00FF.
std::u16string makeName(int i) {
    static const char16_t* const stems[] = {u"holiday-photo-",
                                            u"report_final_",
                                            u"\u0444\u043E\u0442\u043E-",
                                            u"track ",
                                            u"\u6587\u6863\u8D44\u6599-",
                                            u"setup-x64-"};
    static const char16_t* const exts[] = {u".jpg", u".docx", u".mp3", u".txt", u".exe", u""};
    std::u16string name = stems[i % 6];
    for (int v = i; v > 0; v /= 10) {
        name.push_back(static_cast<char16_t>(u'0' + v % 10));
    }
    name += exts[(i / 7) % 6];
    return name;
}

// One root, folders of 50 entries nested four deep.
void buildTree(SnapshotTree& tree, int nodes) {
    const NodeId root = tree.insertLast(kTopLevel, u"Backup drive");
    tree.setTextAndBold(root, u"Backup drive");
    tree.setKind(root, kKindDriveRoot);
    std::vector<NodeId> folders{root};
    for (int i = 1; i < nodes; ++i) {
        const NodeId parent = folders[static_cast<std::size_t>(i / 50) % folders.size()];
        if (i % 10 == 0 && tree.level(parent) < 4) {
            const NodeId folder = tree.insertLast(parent, u" " + makeName(i));
            tree.setKind(folder, kKindFolder);
            tree.setTextAndBold(folder, u" " + makeName(i));
            folders.push_back(folder);
        } else {
            tree.setKind(tree.insertLast(parent, makeName(i)), i % 12);
        }
    }
}

void BM_InsertMillion(benchmark::State& state) {
    std::vector<std::u16string> names;
    names.reserve(kNodes);
    for (int i = 0; i < kNodes; ++i) {
        names.push_back(makeName(i));
    }
    std::size_t memory = 0;
    for (auto _ : state) {
        SnapshotTree tree;
        const NodeId root = tree.insertLast(kTopLevel, u"root");
        NodeId folder = root;
        for (int i = 1; i < kNodes; ++i) {
            if (i % 100 == 0) {
                folder = tree.insertLast(root, names[static_cast<std::size_t>(i)]);
            } else {
                tree.insertLast(folder, names[static_cast<std::size_t>(i)]);
            }
        }
        memory = tree.memoryUsage();
        benchmark::DoNotOptimize(tree.size());
    }
    state.counters["tree_MB"] = static_cast<double>(memory) / 1e6;
    state.counters["nodes_per_s"] = benchmark::Counter(
        static_cast<double>(kNodes), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_InsertMillion)->Unit(benchmark::kMillisecond);

std::string tempPath() {
    char pattern[] = "/tmp/zelvane-bench-XXXXXX";
    const int fd = ::mkstemp(pattern);
    ::close(fd);
    return pattern;
}

void BM_SaveMillion(benchmark::State& state) {
    SnapshotTree tree;
    buildTree(tree, kNodes);
    const std::string path = tempPath();
    for (auto _ : state) {
        const WriteResult result = writeSnapshotFile(tree, path);
        if (!result.ok) {
            state.SkipWithError("write failed");
        }
    }
    std::remove(path.c_str());
    state.counters["nodes_per_s"] = benchmark::Counter(
        static_cast<double>(kNodes), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_SaveMillion)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_EncodeMillion(benchmark::State& state) {
    SnapshotTree tree;
    buildTree(tree, kNodes);
    std::string out;
    for (auto _ : state) {
        out.clear();
        encodeSnapshot(tree, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["nodes_per_s"] = benchmark::Counter(
        static_cast<double>(kNodes), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_EncodeMillion)->Unit(benchmark::kMillisecond);

void BM_LoadMillion(benchmark::State& state) {
    const std::string path = tempPath();
    std::size_t fileBytes = 0;
    {
        SnapshotTree tree;
        buildTree(tree, kNodes);
        writeSnapshotFile(tree, path);
        std::string data;
        encodeSnapshot(tree, data);
        fileBytes = data.size();
    }
    for (auto _ : state) {
        SnapshotTree tree;
        const LoadStats stats = readSnapshotFile(path, tree);
        if (stats.records != static_cast<std::size_t>(kNodes)) {
            state.SkipWithError("load lost records");
        }
    }
    std::remove(path.c_str());
    state.counters["file_MB"] = static_cast<double>(fileBytes) / 1e6;
    state.counters["nodes_per_s"] = benchmark::Counter(
        static_cast<double>(kNodes), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_LoadMillion)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
