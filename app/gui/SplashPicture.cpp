#include "app/gui/SplashPicture.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace ven {

namespace {

void PaintBackground(QPainter& p, const QRectF& r) {
    QLinearGradient sky(r.topLeft(), r.bottomRight());
    sky.setColorAt(0.0, QColor(18, 78, 112));
    sky.setColorAt(0.55, QColor(24, 44, 92));
    sky.setColorAt(1.0, QColor(14, 22, 52));
    p.fillRect(r, sky);

    // Soft glows give depth without competing with the text.
    auto glow = [&p](QPointF centre, qreal radius, QColor colour) {
        QRadialGradient g(centre, radius);
        g.setColorAt(0.0, colour);
        colour.setAlpha(0);
        g.setColorAt(1.0, colour);
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawEllipse(centre, radius, radius);
    };
    glow({r.width() * 0.82, r.height() * 0.18}, r.width() * 0.45, QColor(64, 196, 186, 90));
    glow({r.width() * 0.10, r.height() * 0.95}, r.width() * 0.40, QColor(120, 92, 210, 70));
}

// Rising bars and a tick: a return that adds up.
void PaintEmblem(QPainter& p, const QRectF& box) {
    const qreal heights[] = {0.35, 0.55, 0.45, 0.75};
    qreal barWidth = box.width() / 6;
    for (int i = 0; i < 4; ++i) {
        qreal h = box.height() * heights[i];
        QRectF bar(box.left() + i * barWidth * 1.45, box.bottom() - h, barWidth, h);
        QLinearGradient g(bar.topLeft(), bar.bottomLeft());
        g.setColorAt(0, QColor(120, 230, 200));
        g.setColorAt(1, QColor(40, 150, 170));
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawRoundedRect(bar, 3, 3);
    }
    QPainterPath tick;
    tick.moveTo(box.left() + box.width() * 0.15, box.top() + box.height() * 0.30);
    tick.lineTo(box.left() + box.width() * 0.40, box.top() + box.height() * 0.50);
    tick.lineTo(box.right(), box.top());
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 210, 90), box.width() / 16, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(tick);
}

void PaintTexts(QPainter& p, const QRectF& r) {
    QFont title(QStringLiteral("Sans Serif"));
    title.setPixelSize(static_cast<int>(r.height() * 0.13));
    title.setBold(true);
    title.setLetterSpacing(QFont::PercentageSpacing, 102);
    p.setFont(title);
    p.setPen(Qt::white);
    QRectF titleBox(r.width() * 0.08, r.height() * 0.38, r.width() * 0.84, r.height() * 0.17);
    p.drawText(titleBox, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Venturo MTD"));

    QFont tagline(QStringLiteral("Sans Serif"));
    tagline.setPixelSize(static_cast<int>(r.height() * 0.045));
    p.setFont(tagline);
    p.setPen(QColor(200, 228, 240));
    QRectF tagBox(r.width() * 0.08, titleBox.bottom(), r.width() * 0.84, r.height() * 0.08);
    p.drawText(tagBox, Qt::AlignLeft | Qt::AlignTop, QStringLiteral("Making Tax Digital for Sage Accounts"));

    p.setPen(QPen(QColor(120, 230, 200, 160), 2));
    p.drawLine(QPointF(titleBox.left(), tagBox.top() + r.height() * 0.075),
               QPointF(titleBox.left() + r.width() * 0.22, tagBox.top() + r.height() * 0.075));
}

// The progress text sits bottom right; a darker band keeps it readable.
void PaintFooterBand(QPainter& p, const QRectF& r) {
    QRectF band(0, r.height() * 0.89, r.width(), r.height() * 0.11);
    QLinearGradient g(band.topLeft(), band.bottomLeft());
    g.setColorAt(0, QColor(0, 0, 0, 40));
    g.setColorAt(1, QColor(0, 0, 0, 110));
    p.fillRect(band, g);
    p.setPen(QPen(QColor(255, 255, 255, 40), 1));
    p.drawLine(band.topLeft(), band.topRight());
}

} // namespace

QPixmap PaintSplashPicture(const QSize& size) {
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    QRectF r(QPointF(0, 0), QSizeF(size));
    PaintBackground(p, r);
    PaintEmblem(p, QRectF(r.width() * 0.08, r.height() * 0.12, r.width() * 0.13, r.height() * 0.20));
    PaintTexts(p, r);
    PaintFooterBand(p, r);
    return pixmap;
}

} // namespace ven
