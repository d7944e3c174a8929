#include "app/gui/GuiTestSupport.h"

#include "app/gui/MainThreadWake.h"
#include "app/gui/QtText.h"
#include "rtl/Files.h"

namespace ven::testing {

namespace fs = std::filesystem;

QApplication& GuiApp() {
    static int argc = 1;
    static char name[] = "venturo_gui_test";
    static char* argv[] = {name, nullptr};
    // Kept for the whole run: widgets of a test may outlive the test's own scope until exit.
    static QApplication* app = [] {
        auto* a = new QApplication(argc, argv);
        InstallMainThreadWake();
        return a;
    }();
    return *app;
}

std::unique_ptr<TVenSystemMode> DesktopMode() {
    return std::make_unique<TVenSystemMode>(u"/nonexistent/venturo/selector.exe",
                                            u"/nonexistent/venturo/browser.exe",
                                            u"/nonexistent/venturo/data");
}

TDatasetFolder::TDatasetFolder() = default;

rtl::UnicodeString TDatasetFolder::Add(const std::string& company, const std::string& vatNumber,
                                       int returns) {
    fs::path folder = _folder.Path() / ("dataset" + std::to_string(_datasets.size()));
    _datasets.push_back(folder);
    return WriteDataset(MakeDataset(folder, company, vatNumber, returns));
}

QString TDatasetFolder::CompanyFile() const {
    fs::path file = _folder.Path() / "COMPANY";
    venturo::sample::WriteCompanyFile(file, _datasets);
    return QString::fromStdString(file.string());
}

QString TDatasetFolder::SetupFile(int index) const {
    return QString::fromStdString(
        (_datasets.at(static_cast<size_t>(index)) / "ACCDATA" / "SETUP.DTA").string());
}

QString ToQ(const rtl::UnicodeString& s) {
    return ToQString(s);
}

TStartUpWindows::TStartUpWindows() {
    Form.SetDataModule(&DataModule);
    Splash->show();
}

TStartUpWindows::~TStartUpWindows() {
    Form.SetDataModule(nullptr);
}

} // namespace ven::testing
