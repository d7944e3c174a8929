#include "app/gui/form_splash.h"

#include "app/gui/QtText.h"
#include "app/gui/SplashPicture.h"

#include <QLabel>
#include <QScreen>

#include <algorithm>

namespace ven {

namespace {
const QSize kClientSize(690, 496);
const QRect kMessageRect(288, 457, 377, 31);

struct TLockGuard {
    explicit TLockGuard(rtl::TCriticalSection& cs) : _cs(cs) { _cs.Enter(); }
    ~TLockGuard() { _cs.Leave(); }
    TLockGuard(const TLockGuard&) = delete;
    TLockGuard& operator=(const TLockGuard&) = delete;
    rtl::TCriticalSection& _cs;
};
} // namespace

Tform_splash::Tform_splash(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("form_splash"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(kClientSize);

    imgBackground = new QLabel(this);
    imgBackground->setObjectName(QStringLiteral("imgBackground"));
    imgBackground->setGeometry(rect());
    imgBackground->setScaledContents(true);
    imgBackground->setPixmap(PaintSplashPicture(kClientSize));

    lblMessage = new QLabel(QStringLiteral("Finding Sage data sets"), this);
    lblMessage->setObjectName(QStringLiteral("lblMessage"));
    lblMessage->setGeometry(kMessageRect);
    lblMessage->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblMessage->setTextFormat(Qt::PlainText);
    QPalette pal = lblMessage->palette();
    pal.setColor(QPalette::WindowText, Qt::white);
    lblMessage->setPalette(pal);
    QFont f = lblMessage->font();
    f.setPixelSize(12);
    lblMessage->setFont(f);
}

// A long folder path keeps its start and its end; the middle gives way.
void Tform_splash::ShowProgress(const rtl::UnicodeString& text) {
    QStringList lines = LabelText(text).split(QLatin1Char('\n'));
    QFontMetrics metrics(lblMessage->font());
    for (QString& line : lines) {
        line = metrics.elidedText(line, Qt::ElideMiddle, lblMessage->width());
    }
    lblMessage->setText(lines.join(QLatin1Char('\n')));
}

void Tform_splash::SetOnTop(bool onTop) {
    bool visible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    // Changing a window flag hides the window.
    if (visible) {
        show();
    }
}

rtl::UnicodeString Tform_splash::Message() const {
    TLockGuard guard(_csLock);
    return _szMessage;
}

void Tform_splash::SetMessage(const rtl::UnicodeString& value) {
    TLockGuard guard(_csLock);
    _szMessage = value;
}

QString Tform_splash::LabelText(const rtl::UnicodeString& text) {
    QString shown;
    shown.reserve(static_cast<qsizetype>(text.size()));
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (c == u'&') {
            if (i + 1 < text.size() && text[i + 1] == u'&') {
                shown += QLatin1Char('&');
                ++i;
            }
        } else if (c == u'\r') {
            shown += QLatin1Char('\n');
            if (i + 1 < text.size() && text[i + 1] == u'\n') {
                ++i;
            }
        } else {
            shown += QChar(c);
        }
    }
    return shown;
}

void Tform_splash::showEvent(QShowEvent* event) {
    if (QScreen* s = screen()) {
        ScaleToFit(s->availableGeometry().size());
        move(s->availableGeometry().center() - rect().center());
    }
    QWidget::showEvent(event);
}

// On a small screen (or a large scale factor) the picture and its label shrink together, so that
// the whole splash stays on the screen.
void Tform_splash::ScaleToFit(const QSize& area) {
    const double scale = std::min({1.0, double(area.width()) / kClientSize.width(),
                                   double(area.height()) / kClientSize.height()});
    const QSize size(int(kClientSize.width() * scale), int(kClientSize.height() * scale));
    if (size == this->size()) {
        return;
    }
    setFixedSize(size);
    imgBackground->setGeometry(rect());
    lblMessage->setGeometry(int(kMessageRect.x() * scale), int(kMessageRect.y() * scale),
                            int(kMessageRect.width() * scale), int(kMessageRect.height() * scale));
    QFont f = lblMessage->font();
    f.setPixelSize(std::max(8, int(12 * scale)));
    lblMessage->setFont(f);
}

} // namespace ven
