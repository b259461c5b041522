// The four icon sizes of the View menu and the commands that choose them.
#pragma once

#include <optional>
#include <span>

namespace zelvane {

// The View menu's commands.
inline constexpr int ID_VIEW_16X16 = 284;
inline constexpr int ID_VIEW_24X24 = 280;
inline constexpr int ID_VIEW_32X32 = 285;
inline constexpr int ID_VIEW_48X48 = 286;

inline constexpr int kIconSetImageCount = 12; // one image per node kind
inline constexpr int kStartIconSize = 16;     // every run starts at this size

struct ViewSize {
    int commandId;
    int pixels;
};

// The View commands in the order in which their check marks are set: 284, 280, 285, 286.
std::span<const ViewSize> viewSizes();
// The size a View command selects, or nullopt for any other identifier.
std::optional<int> viewCommandSize(int commandId);

} // namespace zelvane
