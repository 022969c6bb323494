#pragma once
// The reader window's design: every control with its kind, position and size in twips, and
// its tab index, in stacking order from the top down (row 0 is drawn over all the others).
#include <array>
#include <string_view>

#include <QPoint>
#include <QRect>
#include <QSize>

namespace reader {

enum class ControlKind { Flash, Browser, TextBox, Label };

struct ControlDesign {
    std::string_view name;
    ControlKind kind;
    int left, top, width, height;  // twips
    int tabIndex;
};

using enum ControlKind;
inline constexpr std::array<ControlDesign, 26> kLayout = {{
    {"ShockwaveFlash12", Flash, 13660, 160, 960, 780, 7},
    {"ShockwaveFlash33", Flash, 5295, 9480, 2850, 450, 25},
    {"ShockwaveFlash34", Flash, 2520, 2160, 2850, 450, 8},
    {"ShockwaveFlash10", Flash, 380, 170, 1215, 780, 1},
    {"ShockwaveFlash4", Flash, 2550, 160, 720, 780, 2},
    {"ShockwaveFlash11", Flash, 12880, 160, 780, 780, 3},
    {"ShockwaveFlash2", Flash, 11320, 160, 780, 780, 5},
    {"ShockwaveFlash3", Flash, 12110, 160, 780, 780, 6},
    {"ShockwaveFlash35", Flash, 2520, 3720, 2850, 450, 11},
    {"ShockwaveFlash32", Flash, 5280, 8990, 2850, 450, 12},
    {"ShockwaveFlash31", Flash, 5295, 8500, 2850, 450, 13},
    {"ShockwaveFlash30", Flash, 5295, 8010, 2850, 450, 14},
    {"ShockwaveFlash29", Flash, 5295, 7395, 2850, 450, 15},
    {"ShockwaveFlash28", Flash, 2400, 9480, 2850, 450, 16},
    {"ShockwaveFlash27", Flash, 2400, 8955, 2850, 450, 17},
    {"ShockwaveFlash26", Flash, 2400, 8435, 2850, 450, 18},
    {"ShockwaveFlash25", Flash, 2400, 7915, 2850, 450, 19},
    {"ShockwaveFlash24", Flash, 2400, 7395, 2850, 450, 20},
    {"ShockwaveFlash23", Flash, 2400, 6875, 2850, 450, 21},
    {"ShockwaveFlash21", Flash, 2400, 5835, 2850, 450, 22},
    {"ShockwaveFlash22", Flash, 2400, 6355, 2850, 450, 23},
    {"WebBrowser1", Browser, 14000, 1080, 15000, 9375, 0},
    {"Text1", TextBox, 6000, 1680, 540, 270, 4},
    {"ShockwaveFlash5", Flash, 3340, 160, 4695, 780, 24},
    {"Text2", TextBox, 6240, 4080, 855, 375, 9},
    {"Label1", Label, 13080, 10440, 1695, 255, 10},
}};

// The movie of each Flash control, assigned in this order while the window loads.
struct MovieAssignment {
    std::string_view control;
    std::string_view movie;
};
inline constexpr std::array<MovieAssignment, 22> kMovies = {{
    {"ShockwaveFlash2", "\\pic\\help.swf"},   {"ShockwaveFlash3", "\\pic\\exit.swf"},
    {"ShockwaveFlash4", "\\pic\\corvanta.swf"}, {"ShockwaveFlash5", "\\pic\\5.swf"},
    {"ShockwaveFlash10", "\\pic\\index.swf"}, {"ShockwaveFlash11", "\\pic\\up.swf"},
    {"ShockwaveFlash12", "\\pic\\down.swf"},  {"ShockwaveFlash21", "\\pic\\21.swf"},
    {"ShockwaveFlash22", "\\pic\\22.swf"},    {"ShockwaveFlash23", "\\pic\\23.swf"},
    {"ShockwaveFlash24", "\\pic\\24.swf"},    {"ShockwaveFlash25", "\\pic\\25.swf"},
    {"ShockwaveFlash26", "\\pic\\26.swf"},    {"ShockwaveFlash27", "\\pic\\27.swf"},
    {"ShockwaveFlash28", "\\pic\\28.swf"},    {"ShockwaveFlash29", "\\pic\\29.swf"},
    {"ShockwaveFlash30", "\\pic\\30.swf"},    {"ShockwaveFlash31", "\\pic\\31.swf"},
    {"ShockwaveFlash32", "\\pic\\32.swf"},    {"ShockwaveFlash33", "\\pic\\33.swf"},
    {"ShockwaveFlash34", "\\pic\\01.swf"},    {"ShockwaveFlash35", "\\pic\\02.swf"},
}};

inline constexpr int kTwipsPerPixel = 15;
// The outer size the window is given while it loads.
inline constexpr int kOuterWidthTwips = 15070;
inline constexpr int kOuterHeightTwips = 11715;
// Where the browser is moved while the window loads.
inline constexpr int kBrowserLeftTwips = 0;

// Twips to logical pixels, rounding each edge to the nearest pixel, so that controls that
// meet in twips meet in pixels and every size is the difference of its rounded edges.
int twipsToPixels(int twips);
QRect twipsToPixels(int left, int top, int width, int height);
QSize outerSizePixels();
// Where the outer frame's top-left corner goes for a window of `outer` size centred on a
// screen of geometry `screen`: the whole screen, not the part that panels leave free.
QPoint centredOn(const QRect& screen, const QSize& outer);

}  // namespace reader
