#include "app/gui/LoaderView.h"

#include "app/gui/MessageBox.h"
#include "app/gui/QtText.h"
#include "app/gui/form_splash.h"

namespace ven {

TLoaderView::TLoaderView(Tform_splash* splash, QWidget* mainWindow)
    : _pSplash(splash), _pMainWindow(mainWindow) {}

void TLoaderView::ShowProgress(const rtl::UnicodeString& text) {
    if (_pSplash) {
        _pSplash->ShowProgress(text);
    }
}

void TLoaderView::SetSplashOnTop(bool onTop) {
    if (_pSplash) {
        _pSplash->SetOnTop(onTop);
    }
}

void TLoaderView::ShowMessage(const rtl::UnicodeString& text) {
    MessageBox::information(_pSplash ? static_cast<QWidget*>(_pSplash.data()) : nullptr, ToQString(text));
}

void TLoaderView::FinishLoading() {
    if (_pSplash) {
        _pSplash->close();
    }
    if (_pMainWindow) {
        _pMainWindow->show();
    }
}

} // namespace ven
