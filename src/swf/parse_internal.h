#pragma once
// Pieces of the movie parser shared between its source files.
#include <span>
#include <vector>

#include "swf/byte_reader.h"
#include "swf/device_font.h"
#include "swf/movie.h"

namespace swf::detail {

// Caps that keep a hostile file from making the parser allocate without bound.
struct ParseBudget {
    size_t commands = 500'000;
    size_t edges = 4'000'000;
    void spendCommand() {
        if (commands-- == 0) throw MalformedMovie("too many display commands");
    }
    void spendEdges(size_t n) {
        if (n > edges) throw MalformedMovie("too many shape edges");
        edges -= n;
    }
};

QRectF readRect(ByteReader& r);
QTransform readMatrix(ByteReader& r);
ColorTransform readColorTransform(ByteReader& r, bool withAlpha);
QColor readRgb(ByteReader& r);
QColor readRgba(ByteReader& r);

// Shapes: `version` is 1 to 4 for DefineShape1-4.
ShapeDef parseShape(ByteReader& r, int version, ParseBudget& budget);
MorphShapeDef parseMorphShape(ByteReader& r, int version, ParseBudget& budget);
// A glyph: a SHAPE with one implicit solid fill, as fonts store them.
QPainterPath parseGlyph(ByteReader& r, ParseBudget& budget);
// Closed areas for edges that carry `fill` on either side, as one odd-even path.
QPainterPath areaOfFill(const std::vector<Edge>& edges, int fill);

// Bitmaps. Throw MalformedMovie when the image cannot be decoded.
BitmapDef decodeJpeg(std::span<const uint8_t> jpegTables, std::span<const uint8_t> data,
                     std::span<const uint8_t> zlibAlpha);
BitmapDef decodeLossless(ByteReader& r, bool withAlpha);
std::vector<uint8_t> inflateBounded(std::span<const uint8_t> compressed, size_t maxBytes);

// Text.
FontDef parseFont1(ByteReader& r, ParseBudget& budget);
FontDef parseFont23(ByteReader& r, int version, ParseBudget& budget);
void applyFontInfo(ByteReader& r, FontDef& font, bool version2);
TextDef parseText(ByteReader& r, bool withAlpha, const Movie& movie);
EditTextDef parseEditText(ByteReader& r, const Movie& movie);
// CSMTextSettings for a field defined earlier.
void applyTextSettings(ByteReader& r, EditTextDef& field);
// New content for a text field (from a script): plain text or HTML, laid out again.
void setEditTextContent(EditTextDef& field, const QString& content, bool asHtml, const Movie& movie);
// A field's text broken into lines as scripts measure it (pixels): with the advances of its
// embedded font when it draws with one, else with the device font, wrapped to the field's
// width less its gutters, margins and block indent.
struct FieldLayout {
    std::vector<device_font::Line> lines;
    double ascent = 0, descent = 0;
    device_font::AdvanceFn advanceOf;
};
FieldLayout layoutField(const EditTextDef& field, const Movie& movie);
// Scrolling: the highest first line the field can show (every line below it then fits, or
// it is the last), and the last line shown whole from the current one.
int maxScroll(const EditTextDef& field, const Movie& movie);
int bottomScroll(const EditTextDef& field, const Movie& movie);
// Where a field's characters stand, in twips of the field before scrolling: one box per code
// unit, a line high; line breaks and the spaces lines wrap at are empty boxes at the end of
// their line. `ascent` is from a box's top to its baseline, `pitch` from one line to the next.
struct PlacedText {
    std::vector<QRectF> boxes;
    double ascent = 0, pitch = 0;
};
PlacedText placeText(const EditTextDef& field, const Movie& movie);
// The caret position nearest to `p` (field twips, scrolling applied by the caller): before
// the character whose middle is right of it on the line under it (the first line above the
// text, the last below), else at the end of that line.
int caretIndexAt(const std::vector<QRectF>& boxes, QPointF p);

// A PlaceObject3 or button record filter list (parse_filters.cpp).
std::vector<Filter> readFilterList(ByteReader& r);

// Actions.
std::shared_ptr<const ActionList> parseActions(ByteReader& r);
// A copy of an action block's bytes for the script engine (null when empty).
ActionCode keepActionCode(std::span<const uint8_t> bytes);

}  // namespace swf::detail
