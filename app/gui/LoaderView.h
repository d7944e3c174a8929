#pragma once
// TLoaderView: the loader's calls on the windows, made on the GUI thread: progress on the splash,
// its stay-on-top style, plain messages, and the hand-over from the splash to the main window.
#include "app/core/DatasetLoader.h"

#include <QPointer>
#include <QWidget>

namespace ven {

class Tform_splash;

class TLoaderView : public ILoaderView {
public:
    /// The splash may be destroyed at any time (it frees itself once closed); mainWindow outlives this.
    TLoaderView(Tform_splash* splash, QWidget* mainWindow);

    void ShowProgress(const rtl::UnicodeString& text) override;
    void SetSplashOnTop(bool onTop) override;
    void ShowMessage(const rtl::UnicodeString& text) override;
    void FinishLoading() override;

private:
    QPointer<Tform_splash> _pSplash;
    QWidget* _pMainWindow;
};

} // namespace ven
