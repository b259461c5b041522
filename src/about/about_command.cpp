#include "about/about_command.h"

#include <optional>

#include "about/license_text.h"

namespace zelvane {

void AboutCommands::onAbout() {
    about_.runAboutBox(*this);
}

void AboutCommands::onVisitHomePage() {
    about_.openWebPage(kZelvaneHomePage);
}

void AboutCommands::onVisitCompany() {
    about_.openWebPage(kHalcyraHomePage);
}

void AboutCommands::onLicense() {
    const std::optional<std::u16string> text = loadLicenseText(installDir_);
    if (!text) {
        ui_.messageBox(kLicenseNotFoundText, kLicenseNotFoundCaption, MessageIcon::Exclamation,
                       MessageButtons::Ok);
        return;
    }
    about_.showLicenseWindow(*text);
}

} // namespace zelvane
