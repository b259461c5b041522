// Item benchmarks: one accepted rename in a sorted snapshot, from OK to the sorted tree, as
// the user waits after pressing OK: with the whole tree sorted again, and with the renamed
// node moved alone.
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "document/tree_order.h"
#include "items/item_commands.h"

namespace {

using namespace zelvane;

// Answers Yes to every box and types `next` into the rename dialog; shows nothing else.
class SilentPort : public UiPort {
public:
    std::u16string next;
    MessageAnswer messageBox(std::u16string_view, std::u16string_view, MessageIcon,
                             MessageButtons) override {
        return MessageAnswer::Yes;
    }
    std::optional<ChosenFile> fileDialog(const FileDialogRequest&) override { return {}; }
    void setCaption(std::u16string_view) override {}
    void endMainWindow(int) override {}
    void runAddTreeDialog(AddTreeDialog&) override {}
    void showItemProperties(ItemPropertiesDialog&) override {}
    void runRenameItem(RenameItemDialog& dialog) override { confirmNewName(dialog, next, *this); }
    void runSearchDialog(SearchDialog&) override {}
    void openSearchResults() override {}
    void showSearchResults(const SearchResults&) override {}
    void runSearchResults(const std::function<void(std::optional<std::size_t>)>&) override {}
    void closeSearchResults() override {}
    void runAboutBox(AboutBoxHandlers&) override {}
    void openWebPage(std::string_view) override {}
    void showLicenseWindow(std::u16string_view) override {}
};

std::u16string randomName(std::mt19937& random) {
    static const std::u16string letters =
        u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-абвгдежзαβγδ日本語";
    std::u16string name;
    const std::size_t length = 12 + random() % 14;
    for (std::size_t i = 0; i < length; ++i) {
        name.push_back(letters[random() % letters.size()]);
    }
    return name + u".txt";
}

// One root with `folders` folders of `files` files each.
NodeId buildSnapshot(SnapshotTree& tree, std::mt19937& random, int folders, int files) {
    tree.reserve(static_cast<std::size_t>(folders) * (files + 1) + 1, 0);
    const NodeId root = tree.insertLast(kTopLevel, u"Generated disk");
    NodeId someFile = kNoNode;
    for (int f = 0; f < folders; ++f) {
        // GCC 12 at -O3 reports a bogus overlap (-Wrestrict) inside basic_string::insert,
        // which operator+ of a literal and a temporary string uses.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
        const NodeId folder = tree.insertLast(root, u" " + randomName(random));
#pragma GCC diagnostic pop
        tree.setKind(folder, kKindFolder);
        for (int i = 0; i < files; ++i) {
            someFile = tree.insertLast(folder, randomName(random));
        }
    }
    return someFile;
}

// Renames one file back and forth between the first and the last place of its folder.
void renameBackAndForth(benchmark::State& state, ItemCommands& commands, SilentPort& port) {
    int n = 0;
    for (auto _ : state) {
        port.next = (n++ % 2 == 0 ? u"aaa first " : u"zzz last ") + std::u16string(u"file.txt");
        benchmark::DoNotOptimize(commands.OnItemRename());
    }
}

// The whole tree sorted again after the rename, as in a tree not known to be in order (a
// loaded snapshot): a million nodes, folders of 19 files.
void BM_RenameInAMillionNodesSortingAll(benchmark::State& state) {
    std::mt19937 random(7);
    SnapshotTree tree;
    DocumentState document;
    SilentPort port;
    const TextOrder order("en_US");
    const NodeId file = buildSnapshot(tree, random, 50000, 19);
    SortTree(tree, order);
    ItemCommands commands(tree, document, port, order);
    tree.select(file);
    int n = 0;
    for (auto _ : state) {
        // A change of text outside the commands leaves the tree's order unknown.
        tree.setText(tree.firstRoot(), n++ % 2 == 0 ? u"Generated" : u"Generated disk");
        port.next = (n % 2 == 0 ? u"aaa first " : u"zzz last ") + std::u16string(u"file.txt");
        benchmark::DoNotOptimize(commands.OnItemRename());
    }
    state.counters["nodes"] = static_cast<double>(tree.size());
}
BENCHMARK(BM_RenameInAMillionNodesSortingAll)->Unit(benchmark::kMillisecond)->Iterations(5);

// The renamed node moved alone, as the program does in a tree that is in order: ten
// million nodes, folders of 1,000 files.
void BM_RenameInTenMillionNodes(benchmark::State& state) {
    std::mt19937 random(7);
    SnapshotTree tree;
    DocumentState document;
    SilentPort port;
    const NodeId file = buildSnapshot(tree, random, 10000, 999);
    const TextOrder order("en_US");
    SortTree(tree, order);
    ItemCommands commands(tree, document, port, order);
    tree.select(file);
    renameBackAndForth(state, commands, port);
    state.counters["nodes"] = static_cast<double>(tree.size());
}
BENCHMARK(BM_RenameInTenMillionNodes)->Unit(benchmark::kMillisecond)->Iterations(50);

} // namespace

BENCHMARK_MAIN();
