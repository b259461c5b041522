#include "icons/view_sizes.h"

#include <array>

namespace zelvane {

namespace {
constexpr std::array<ViewSize, 4> kViewSizes{{
    {ID_VIEW_16X16, 16},
    {ID_VIEW_24X24, 24},
    {ID_VIEW_32X32, 32},
    {ID_VIEW_48X48, 48},
}};
} // namespace

std::span<const ViewSize> viewSizes() {
    return kViewSizes;
}

std::optional<int> viewCommandSize(int commandId) {
    for (const ViewSize& size : kViewSizes) {
        if (size.commandId == commandId) {
            return size.pixels;
        }
    }
    return std::nullopt;
}

} // namespace zelvane
