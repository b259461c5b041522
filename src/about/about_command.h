// The About command and the About box's buttons.
//
// The command runs the About box through the UiPort; the box calls back into
// AboutCommands when one of its buttons is pressed. The web pages open through the
// desktop's default handler (the port shows the address where none starts). The licence
// text comes from License.txt in the installation folder; a missing file gets an error
// message.
#pragma once

#include <string>
#include <string_view>

#include "document/ui_port.h"
#include "text/text.h"

namespace zelvane {

// The two web pages the About box opens.
inline constexpr std::string_view kZelvaneHomePage = "https://zelvane.halcyra.com/";
inline constexpr std::string_view kHalcyraHomePage = "https://www.halcyra.com/";

// The About box's controls.
inline constexpr int kIdVisitHomePage = 1008; // "Visit Zelvane Home Page"
inline constexpr int kIdVisitCompany = 1010;  // "Visit Halcyra Company Home Page"
inline constexpr int kIdLicense = 1011;       // "License..."
inline constexpr int kIdClose = 1;            // "Close", the OK identifier

inline constexpr std::u16string_view kLicenseNotFoundText =
    u"License file not found!\nPlease reinstall the application!";
inline constexpr std::u16string_view kLicenseCaption = u"License";

// What the About box's buttons do. The box calls these; "Close" and Escape close the box
// without calling anything.
class AboutBoxHandlers {
public:
    virtual ~AboutBoxHandlers() = default;
    virtual void onVisitHomePage() = 0; // 1008
    virtual void onVisitCompany() = 0;  // 1010
    virtual void onLicense() = 0;       // 1011
};

class AboutCommands : public AboutBoxHandlers {
public:
    // installDir: the folder License.txt is glued onto (see resolveInstallDir).
    AboutCommands(UiPort& ui, std::u16string installDir)
        : ui_(ui), installDir_(std::move(installDir)) {}

    // Help > "&About..." and the window menu's "&About Zelvane...": runs the About box.
    void onAbout();

    void onVisitHomePage() override;
    void onVisitCompany() override;
    // Reads the licence afresh on every press; nothing is cached.
    void onLicense() override;

private:
    UiPort& ui_;
    const std::u16string installDir_;
};

} // namespace zelvane
