#include "app/gui/SliderSwitch.h"

#include <QPainter>
#include <QPainterPath>

namespace ven {

namespace {
const QColor kOnTrack(46, 139, 87);
const QColor kOffTrack(112, 112, 112);
} // namespace

TSliderSwitch::TSliderSwitch(QWidget* parent) : QAbstractButton(parent) {
    setCheckable(true);
    setChecked(true);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    connect(this, &QAbstractButton::toggled, this, [this](bool on) {
        setAccessibleName(StateCaption());
        update();
        emit StateChanged(on);
    });
}

void TSliderSwitch::SetOnCaption(const QString& caption) {
    _szOnCaption = caption;
    setAccessibleName(StateCaption());
    updateGeometry();
    update();
}

void TSliderSwitch::SetOffCaption(const QString& caption) {
    _szOffCaption = caption;
    setAccessibleName(StateCaption());
    updateGeometry();
    update();
}

QSize TSliderSwitch::sizeHint() const {
    QFontMetrics fm(font());
    int text = std::max(fm.horizontalAdvance(_szOnCaption), fm.horizontalAdvance(_szOffCaption));
    int height = std::max(24, fm.height() + 10);
    return {text + height + 24, height};
}

// The track carries the caption on the side away from the knob, like a physical slide switch.
void TSliderSwitch::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    // A margin all round holds the focus ring, so that it shows outside the track.
    QRectF track = QRectF(rect()).adjusted(3, 3, -3, -3);
    qreal radius = track.height() / 2;
    QColor trackColour = On() ? kOnTrack : kOffTrack;
    if (!isEnabled()) {
        trackColour = trackColour.lighter(160);
    }
    p.setPen(QPen(trackColour.darker(130), 1));
    p.setBrush(trackColour);
    p.drawRoundedRect(track, radius, radius);

    qreal knobSize = track.height() - 4;
    qreal knobLeft = On() ? track.right() - 2 - knobSize : track.left() + 2;
    QRectF knob(knobLeft, track.top() + 2, knobSize, knobSize);
    p.setPen(QPen(QColor(0, 0, 0, 60), 1));
    p.setBrush(Qt::white);
    p.drawEllipse(knob);

    QRectF textArea =
        On() ? QRectF(track.left() + radius / 2, track.top(), knob.left() - track.left() - radius / 2,
                      track.height())
             : QRectF(knob.right(), track.top(), track.right() - knob.right() - radius / 2, track.height());
    QFont f = font();
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(textArea, Qt::AlignCenter, StateCaption());

    if (hasFocus()) {
        // Solid and two pixels wide: a dotted hairline on the track's own edge was not seen.
        p.setPen(QPen(palette().color(QPalette::Highlight), 2));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(track.adjusted(-2, -2, 2, 2), radius + 2, radius + 2);
    }
}

} // namespace ven
