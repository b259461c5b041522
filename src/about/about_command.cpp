#include "about/about_command.h"

#include <optional>

#include "about/license_text.h"

namespace zelvane {

void AboutCommands::onAbout() {
    ui_.runAboutBox(*this);
}

void AboutCommands::onVisitHomePage() {
    ui_.openWebPage(kZelvaneHomePage);
}

void AboutCommands::onVisitCompany() {
    ui_.openWebPage(kHalcyraHomePage);
}

void AboutCommands::onLicense() {
    const std::optional<std::u16string> text = loadLicenseText(installDir_);
    if (!text) {
        ui_.messageBox(kLicenseNotFoundText, kErrorCaption, MessageIcon::Exclamation,
                       MessageButtons::Ok);
        return;
    }
    ui_.showLicenseWindow(*text);
}

} // namespace zelvane
