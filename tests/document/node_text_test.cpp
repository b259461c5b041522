// The node-text rules, one row per kind of node: what each form makes of its text.
#include "document/node_text.h"

#include <gtest/gtest.h>

#include "document/snapshot_tree.h"

namespace zelvane {
namespace {

TEST(NodeText, EachFormOfEachKindOfNode) {
    const struct {
        std::u16string_view text;
        int kind;
        bool root;
        std::u16string_view display, listed, renamed; // renamed: after a rename to "n"
    } rows[] = {
        {u" Docs", kKindFolder, false, u"Docs", u"Docs", u" n"},
        {u"  two", kKindFolder, false, u" two", u" two", u" n"}, // only one space goes
        {u" odd.txt", kKindDocument, false, u"odd.txt", u" odd.txt", u" n"},
        {u" Title", kKindFolder, true, u"Title", u" Title", u" n"}, // a root is its label
        {u"a.txt", kKindFolder, false, u"a.txt", u"a.txt", u"n"},
        {u"", kKindDriveRoot, true, u"", u"", u"n"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(displayName(r.text), r.display) << r.kind;
        EXPECT_EQ(listedName(r.text, r.kind, r.root), r.listed) << r.kind;
        EXPECT_EQ(renamedText(r.text, u"n"), r.renamed) << r.kind;
    }
    std::u16string folder = u"old";
    assignFolderText(folder, u"Docs");
    EXPECT_EQ(folder, u" Docs");

    const PathElement chain[] = {
        {u"R", kKindDriveRoot}, {u" F", kKindFolder}, {u" f.x", kKindOther}, {u" G", kKindFolder}};
    const PathElement spacedRoot[] = {{u" S", kKindFolder}, {u"", kKindFolder}};
    EXPECT_EQ(columnPath({}), u"");
    EXPECT_EQ(slashPath({}), u"");
    EXPECT_EQ(columnPath(chain), u" R\\ F\\ f.x\\ G");
    EXPECT_EQ(slashPath(chain), u"R/F/ f.x/G");
    EXPECT_EQ(columnPath(spacedRoot), u"  S\\");
    EXPECT_EQ(slashPath(spacedRoot), u" S/");
}

} // namespace
} // namespace zelvane
