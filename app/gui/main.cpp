// venturo_mtd: start-up in a fixed order; the loader thread finds the datasets under the splash and
// then shows the main window.
#include "app/core/ProductInfo.h"
#include "app/core/VenDataModule.h"
#include "app/core/VenSystemMode.h"
#include "app/gui/KeyStateProvider.h"
#include "app/gui/LoaderView.h"
#include "app/gui/MainThreadWake.h"
#include "app/gui/MessageBox.h"
#include "app/gui/QtText.h"
#include "app/gui/form_main.h"
#include "app/gui/form_splash.h"
#include "app/gui/frmUpdateProgress.h"
#include "app/update/UpdateCheck.h"
#include "rtl/AppInitialize.h"
#include "rtl/FormatSettings.h"
#include "rtl/TerminationWatch.h"

#include <QApplication>
#include <QPointer>

#include <cstring>
#include <iostream>
#include <memory>

int main(int argc, char** argv) {
    // Answered before any window or display is needed, as the command line's --version is.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::cout << rtl::StringToUtf8(ven::VersionReport(ven::ReadUpdateRecord().InstalledVersion));
        return 0;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Venturo MTD"));
    // Start-up work that libraries registered runs once the application object exists.
    rtl::ApplicationInitialize();
    ven::InstallMainThreadWake();
    ven::InstallKeyStateProvider();
    rtl::LoadLocaleFormatSettings();

    ven::TVenSystemMode systemMode;
    // The main window stays hidden until the loader hands over from the splash; the program ends
    // when it closes (not when the splash, the only window shown so far, closes).
    auto formMain = std::make_unique<ven::Tform_main>(systemMode);
    // An update that a crash cut short is finished or undone before the program's folder is used;
    // when that put the program's own file back, the old program runs on instead of this one.
    ven::TRecoveryResult recovery = formMain->updApplication.RecoverInterruptedInstall();
    if (recovery == ven::TRecoveryResult::Restarted) {
        return 0;
    }
    if (recovery == ven::TRecoveryResult::Damaged) {
        // The program may still run among mixed files: the user hears of it before anything else.
        ven::MessageBox::warning(nullptr, ven::ToQString(formMain->updApplication.LastError()));
    }
    QApplication::setQuitOnLastWindowClosed(false);
    QObject::connect(formMain.get(), &ven::Tform_main::Closed, &app, &QApplication::quit,
                     Qt::QueuedConnection);
    auto* formSplash = new ven::Tform_splash; // frees itself once closed
    auto dmVenMTD = std::make_unique<ven::TdmVenMTD>(systemMode);
    formMain->SetDataModule(dmVenMTD.get());
    auto frmUpdateProgress = std::make_unique<ven::TfrmUpdateProgress>(formMain.get());
    frmUpdateProgress->Attach(formMain->updApplication);
    ven::TLoaderView loaderView(formSplash, formMain.get());

    // A request to end (the session closing) closes the window as Close does, so that nothing is
    // cut short; during loading it waits for the window to be shown.
    QPointer<ven::Tform_main> mainWindow = formMain.get();
    auto terminationWatch = std::make_unique<rtl::TTerminationWatch>([mainWindow] {
        if (mainWindow) {
            mainWindow->RequestClose();
        }
    });

    formSplash->show();
    dmVenMTD->LoadDatasets(loaderView);
    int exitCode = app.exec();
    terminationWatch.reset();

    // The windows let go of the data module's tables before it goes.
    frmUpdateProgress.reset();
    formMain.reset();
    dmVenMTD.reset();
    ven::RemoveKeyStateProvider();
    ven::RemoveMainThreadWake();
    return exitCode;
}
