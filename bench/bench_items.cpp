// Item benchmark: one accepted rename in a sorted snapshot of a million nodes, which sets
// the text and sorts the whole tree again, as the user waits after pressing OK.
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "capture/tree_order.h"
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

// One root, 50,000 folders, 19 files in each: a million nodes.
NodeId buildSnapshot(SnapshotTree& tree, std::mt19937& random) {
    const NodeId root = tree.insertLast(kTopLevel, u"Generated disk");
    NodeId someFile = kNoNode;
    for (int f = 0; f < 50000; ++f) {
        // GCC 12 at -O3 reports a bogus overlap (-Wrestrict) inside basic_string::insert,
        // which operator+ of a literal and a temporary string uses.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
        const NodeId folder = tree.insertLast(root, u" " + randomName(random));
#pragma GCC diagnostic pop
        tree.setKind(folder, kKindFolder);
        for (int i = 0; i < 19; ++i) {
            someFile = tree.insertLast(folder, randomName(random));
        }
    }
    return someFile;
}

void BM_RenameInAMillionNodes(benchmark::State& state) {
    std::mt19937 random(7);
    SnapshotTree tree;
    DocumentState document;
    SilentPort port;
    const TextOrder order("en_US");
    const NodeId file = buildSnapshot(tree, random);
    SortTree(tree, order);
    ItemCommands commands(tree, document, port, [&] { SortTree(tree, order); });
    tree.select(file);
    int n = 0;
    for (auto _ : state) {
        port.next = (n++ % 2 == 0 ? u"aaa first " : u"zzz last ") + std::u16string(u"file.txt");
        benchmark::DoNotOptimize(commands.OnItemRename());
    }
    state.counters["nodes"] = static_cast<double>(tree.size());
}
BENCHMARK(BM_RenameInAMillionNodes)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

BENCHMARK_MAIN();
