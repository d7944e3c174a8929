#pragma once
// Shared fixtures of the window tests: the application object, generated datasets written to
// temporary folders, and a data module filled from them.
#include "app/core/CoreTestSupport.h"
#include "app/core/VenDataModule.h"
#include "app/core/VenSystemMode.h"

#include "app/gui/LoaderView.h"
#include "app/gui/form_main.h"
#include "app/gui/form_splash.h"

#include <QApplication>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

namespace ven::testing {

/// The one application object of the test program, with rtl's synchronised calls run by its loop.
QApplication& GuiApp();

/// A system mode whose platform markers do not exist: the desktop.
std::unique_ptr<TVenSystemMode> DesktopMode();

/// Temporary folder with generated datasets and a COMPANY file listing them.
class TDatasetFolder {
public:
    TDatasetFolder();
    /// Writes a dataset named company with the given number of returns; returns its folder.
    rtl::UnicodeString Add(const std::string& company, const std::string& vatNumber, int returns);
    /// Writes a COMPANY file listing every dataset added so far.
    QString CompanyFile() const;
    /// The SETUP.DTA of the i-th dataset added.
    QString SetupFile(int index) const;
    const TTempFolder& Folder() const { return _folder; }

private:
    TTempFolder _folder;
    std::vector<std::filesystem::path> _datasets;
};

QString ToQ(const rtl::UnicodeString& s);

/// The windows and data module of a start-up, made in the program's order (main window first),
/// with the splash shown and the real loader view; the main window lets go of the tables before
/// they go.
struct TStartUpWindows {
    TStartUpWindows();
    ~TStartUpWindows();
    std::unique_ptr<TVenSystemMode> Mode = DesktopMode();
    Tform_main Form{*Mode};
    QPointer<Tform_splash> Splash = new Tform_splash;
    TdmVenMTD DataModule{*Mode};
    TLoaderView View{Splash, &Form};
};

/// Answers the modal window of type W that an action opens, as soon as it is up; a window that never
/// comes fails the test instead of hanging it.
template <class W> void AnswerModal(std::function<void(W&)> answer) {
    auto* poll = new QTimer;
    auto tries = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, [poll, tries, answer] {
        if (auto* w = qobject_cast<W*>(QApplication::activeModalWidget())) {
            poll->deleteLater();
            poll->stop();
            answer(*w);
        } else if (++*tries > 300) {
            poll->deleteLater();
            poll->stop();
            ADD_FAILURE() << "the window did not open";
        }
    });
    poll->start(10);
}

} // namespace ven::testing
