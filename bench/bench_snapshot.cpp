// Speed and size of the snapshot tree and the snapshot file at a million nodes.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <unistd.h>

#include "bench_names.h"
#include "document/snapshot_file.h"
#include "document/snapshot_tree.h"

namespace {

using namespace zelvane;

constexpr int kNodes = 1000000;

using zelvane::bench::makeName;

// One root, folders of 50 entries nested four deep.
void buildTree(SnapshotTree& tree, int nodes) {
    const NodeId root = tree.insertLast(kTopLevel, u"Backup drive");
    tree.setTextAndBold(root, u"Backup drive");
    tree.setKind(root, kKindDriveRoot);
    std::vector<NodeId> folders{root};
    for (int i = 1; i < nodes; ++i) {
        const NodeId parent = folders[static_cast<std::size_t>(i / 50) % folders.size()];
        if (i % 10 == 0 && tree.level(parent) < 4) {
            // GCC 12 at -O3 reports a bogus overlap (-Wrestrict) inside
            // basic_string::insert, which operator+ of a literal and a temporary uses.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
            const NodeId folder = tree.insertLast(parent, u" " + makeName(i));
            tree.setKind(folder, kKindFolder);
            tree.setTextAndBold(folder, u" " + makeName(i));
#pragma GCC diagnostic pop
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
    state.counters["bytes_per_node"] = static_cast<double>(memory) / kNodes;
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
