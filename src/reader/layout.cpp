#include "reader/layout.h"

namespace reader {

int twipsToPixels(int twips)
{
    // Round half away from zero; twips may be negative for positions left of the client area.
    return twips >= 0 ? (twips + kTwipsPerPixel / 2) / kTwipsPerPixel
                      : -((-twips + kTwipsPerPixel / 2) / kTwipsPerPixel);
}

QRect twipsToPixels(int left, int top, int width, int height)
{
    const int x = twipsToPixels(left);
    const int y = twipsToPixels(top);
    return QRect(x, y, twipsToPixels(left + width) - x, twipsToPixels(top + height) - y);
}

QSize outerSizePixels()
{
    return {twipsToPixels(kOuterWidthTwips), twipsToPixels(kOuterHeightTwips)};
}

QPoint centredOn(const QRect& screen, const QSize& outer)
{
    return {screen.x() + (screen.width() - outer.width()) / 2, screen.y() + (screen.height() - outer.height()) / 2};
}

}  // namespace reader
