#pragma once
// The splash window's picture, drawn in code so the program carries no image files.
#include <QPixmap>

namespace ven {

/// The product name and tagline on a gradient, at the given size; the band along the bottom
/// stays dark enough for white progress text.
QPixmap PaintSplashPicture(const QSize& size);

} // namespace ven
