// The application object: starts the program, runs the main window modally, and ends
// the process when that run ends.
#pragma once

#include <QApplication>
#include <memory>
#include <string>
#include <vector>

namespace zelvane {

class SettingsBackend;

class CMainApp : public QApplication {
    Q_OBJECT
public:
    // argc and argv as main() got them; the toolkit takes its own options out of them.
    CMainApp(int& argc, char** argv);
    ~CMainApp() override;

    // Runs the main window until Exit ends it; returns false, after which the process ends.
    bool InitInstance();

    // The arguments after the program's name, without the toolkit's options, converted
    // losslessly (file names need not be valid UTF-8).
    const std::vector<std::u16string>& commandArguments() const { return arguments_; }
    // The executable's file name without its extension.
    const std::u16string& applicationBaseName() const { return appName_; }

private:
    std::vector<std::u16string> arguments_;
    std::u16string appName_;
    std::unique_ptr<SettingsBackend> settings_;
};

} // namespace zelvane
