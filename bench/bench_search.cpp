// The search engine over a snapshot of one million nodes (and ten million, the Arg): a
// case-insensitive substring search with few matches and with every node matching, result rows
// included; the same names counted by grep in a text file, as the peer; and the longest name a node
// holds (4 MB) searched for a pattern of 511 characters that agrees with it for a long way at every
// start.
//
// The figures to read: ns_per_node of BM_SearchFewMatches against BM_PeerGrepCount.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

#include "document/snapshot_tree.h"
#include "search/search_engine.h"
#include "text/utf.h"

namespace {

using zelvane::NodeId;
using zelvane::SnapshotTree;

// Names of about 20 characters, mixed Latin and non-Latin, all containing "_x" so that
// one pattern matches every node; 16 of them contain "Needle".
std::u16string makeName(std::uint32_t& seed, std::size_t index, bool folder, std::size_t nodes) {
    static const char16_t kLetters[] =
        u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJ\u00e9\u00fc\u0416\u05d0\u4e2d";
    std::u16string name;
    if (folder) {
        name.push_back(u' ');
    }
    for (int i = 0; i < 12; ++i) {
        seed = seed * 1103515245u + 12345u;
        name.push_back(kLetters[(seed >> 16) % (sizeof kLetters / sizeof kLetters[0] - 1)]);
    }
    name += u"_x";
    for (char c : std::to_string(index % 1000)) {
        name.push_back(static_cast<char16_t>(c));
    }
    if (index % (nodes / 16) == 7) {
        name += u"Needle";
    }
    if (!folder) {
        name += u".txt";
    }
    return name;
}

// Ten roots; under each, five folders a folder down to level 5 with 24 files in every
// folder (the rest of the million under the root itself), filled in pre-order as a capture or a
// loaded file lays the tree out.
void fill(SnapshotTree& t, NodeId parent, std::size_t level, std::uint32_t& seed,
          std::size_t& count, std::size_t limit, std::size_t nodes) {
    if (level < 6) {
        for (int i = 0; i < 5 && count < limit; ++i) {
            const NodeId folder = t.insertLast(parent, makeName(seed, count++, true, nodes));
            t.setKind(folder, zelvane::kKindFolder);
            fill(t, folder, level + 1, seed, count, limit, nodes);
        }
    }
    for (int i = 0; i < 24 && count < limit; ++i) {
        const NodeId file = t.insertLast(parent, makeName(seed, count++, false, nodes));
        t.setKind(file, i % 3 == 0 ? zelvane::kKindMedia : zelvane::kKindDocument);
    }
}

// The tree of state.range(0) nodes, made once for each size.
const SnapshotTree& nodeTree(const benchmark::State& state) {
    const auto nodes = static_cast<std::size_t>(state.range(0));
    static std::map<std::size_t, SnapshotTree*> made;
    SnapshotTree*& tree = made[nodes];
    if (tree != nullptr) {
        return *tree;
    }
    tree = [nodes] {
        auto* t = new SnapshotTree;
        t->reserve(nodes, nodes * 20);
        std::uint32_t seed = 42;
        std::size_t count = 0;
        for (int r = 0; r < 10; ++r) {
            const NodeId root =
                t->insertLast(zelvane::kTopLevel, u"Disk_x" + std::u16string(1, u'0' + r));
            t->setKind(root, zelvane::kKindDriveRoot);
            ++count;
            const std::size_t limit = nodes / 10 * (r + 1);
            fill(*t, root, 1, seed, count, limit, nodes);
            while (count < limit) {
                t->setKind(t->insertLast(root, makeName(seed, count++, false, nodes)),
                           zelvane::kKindOther);
            }
        }
        return t;
    }();
    return *tree;
}

void runSearch(benchmark::State& state, const char16_t* pattern, bool matchCase = false) {
    const SnapshotTree& tree = nodeTree(state);
    zelvane::SearchOptions options;
    options.pattern = pattern;
    options.isMatchCase = matchCase;
    zelvane::SearchEngine engine;
    zelvane::SearchResults results;
    for (auto _ : state) {
        engine.run(tree, options, results);
        benchmark::DoNotOptimize(results.size());
    }
    state.counters["nodes"] = static_cast<double>(tree.size());
    state.counters["ns_per_node"] = benchmark::Counter(
        static_cast<double>(tree.size()) * 1e-9,
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["matches"] = static_cast<double>(engine.matchCount());
    state.counters["result_MB"] = static_cast<double>(results.memoryUsage()) / 1e6;
}

// Target: at most 50 ms.
void BM_SearchFewMatches(benchmark::State& state) {
    runSearch(state, u"needle");
}
// Target: at most 300 ms.
void BM_SearchAllMatch(benchmark::State& state) {
    runSearch(state, u"_x");
}

// For comparison: no case folding.
void BM_SearchFewMatchesMatchCase(benchmark::State& state) {
    runSearch(state, u"Needle", true);
}
// The walk alone, as the floor under every search.
void BM_WalkOnly(benchmark::State& state) {
    const SnapshotTree& tree = nodeTree(state);
    for (auto _ : state) {
        std::size_t units = 0;
        zelvane::walkPreOrder(tree,
                              [&](NodeId node, std::size_t) { units += tree.text(node).size(); });
        benchmark::DoNotOptimize(units);
    }
}

// The peer: grep counting the lines that hold "needle" in any case, over a text file of the
// same names, one a line. The time is the processor time of the whole process (user and
// system), comparable with the CPU column of the searches on a machine shared with others.
void BM_PeerGrepCount(benchmark::State& state) {
    const SnapshotTree& tree = nodeTree(state);
    char path[] = "/tmp/zelvane-bench-names-XXXXXX";
    const int fd = ::mkstemp(path);
    ::close(fd);
    {
        std::ofstream out(path, std::ios::binary);
        zelvane::walkPreOrder(tree, [&](NodeId node, std::size_t) {
            out << zelvane::utf16ToUtf8(tree.text(node)) << '\n';
        });
    }
    // Not into /dev/null: GNU grep then stops at the first match, as -q does.
    const std::string counted = std::string(path) + ".count";
    const std::string command = std::string("grep -c -i needle ") + path + " > " + counted;
    static_cast<void>(std::system(("cat " + std::string(path) + " > /dev/null").c_str()));
    auto childSeconds = [] {
        rusage usage{};
        ::getrusage(RUSAGE_CHILDREN, &usage);
        return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
               static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
    };
    for (auto _ : state) {
        const double before = childSeconds();
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("grep failed");
        }
        state.SetIterationTime(childSeconds() - before);
    }
    std::remove(path);
    std::remove(counted.c_str());
    state.counters["ns_per_node"] = benchmark::Counter(
        static_cast<double>(tree.size()) * 1e-9,
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The longest name a node holds, of "a", and a pattern of 511 units: 255 "a", one "b" and 255 "a".
// Every start agrees with the pattern for 255 units before it fails.
void BM_SearchLongName(benchmark::State& state) {
    SnapshotTree tree;
    const std::u16string name(SnapshotTree::kMaxTextUnits, u'a');
    tree.insertLast(zelvane::kTopLevel, name);
    zelvane::SearchOptions options;
    options.pattern = std::u16string(255, u'a') + u"b" + std::u16string(255, u'a');
    zelvane::SearchEngine engine;
    zelvane::SearchResults results;
    for (auto _ : state) {
        engine.run(tree, options, results);
        benchmark::DoNotOptimize(results.size());
    }
    state.counters["MB"] = static_cast<double>(name.size()) / (1 << 20);
}

// Wall-clock time: a large tree's texts are tested on two processors.
BENCHMARK(BM_SearchFewMatches)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Arg(1'000'000)
    ->Arg(10'000'000);
BENCHMARK(BM_PeerGrepCount)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Arg(1'000'000)
    ->Arg(10'000'000);
BENCHMARK(BM_SearchFewMatchesMatchCase)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Arg(1'000'000);
BENCHMARK(BM_WalkOnly)->Unit(benchmark::kMillisecond)->Arg(1'000'000);
BENCHMARK(BM_SearchAllMatch)->Unit(benchmark::kMillisecond)->UseRealTime()->Arg(1'000'000);
BENCHMARK(BM_SearchLongName)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
