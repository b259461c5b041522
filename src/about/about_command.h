// The About command and the About box's buttons.
//
// The command runs the About box through AboutPort; the box calls back into AboutCommands
// when one of its buttons is pressed. The web pages open through the desktop's default
// handler, and a failure to open one is not reported. The licence text comes from
// License.txt in the installation folder; a missing file gets an error message through
// UiPort.
#pragma once

#include <string>
#include <string_view>

#include "ui/ui_port.h"

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
inline constexpr std::u16string_view kLicenseNotFoundCaption = u"Error";
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

// The About box's own windows and services, implemented by the main window.
class AboutPort {
public:
    virtual ~AboutPort() = default;
    // Runs the About box modally over the main window until it is closed; its buttons
    // call handlers.
    virtual void runAboutBox(AboutBoxHandlers& handlers) = 0;
    // Asks the desktop to open address in the user's browser. The outcome is not reported.
    virtual void openWebPage(std::string_view address) = 0;
    // A modal read-only window captioned "License" over the About box, holding the whole
    // text with a scroll bar and an OK button.
    virtual void showLicenseWindow(std::u16string_view text) = 0;
};

class AboutCommands : public AboutBoxHandlers {
public:
    // installDir: the folder License.txt is glued onto (see resolveInstallDir).
    AboutCommands(UiPort& ui, AboutPort& about, std::u16string installDir)
        : ui_(ui), about_(about), installDir_(std::move(installDir)) {}

    // Help > "&About..." and the window menu's "&About Zelvane...": runs the About box.
    void onAbout();

    void onVisitHomePage() override;
    void onVisitCompany() override;
    // Reads the licence afresh on every press; nothing is cached.
    void onLicense() override;

    const std::u16string& installDir() const { return installDir_; }
    void setInstallDir(std::u16string installDir) { installDir_ = std::move(installDir); }

private:
    UiPort& ui_;
    AboutPort& about_;
    std::u16string installDir_;
};

} // namespace zelvane
