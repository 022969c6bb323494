// Fonts and text: glyph outlines of DefineFont/2/3, static text records laid out into
// filled paths, and edit text fields (embedded outlines, or a system font at draw time).
#include <QRegularExpression>
#include <algorithm>
#include <cmath>

#include "swf/parse_internal.h"

namespace swf {

int FontDef::glyphFor(char16_t c) const {
    auto it = std::find(codes.begin(), codes.end(), uint16_t(c));
    return it == codes.end() ? -1 : int(it - codes.begin());
}

namespace detail {
namespace {

std::vector<QPainterPath> readGlyphs(std::span<const uint8_t> table, const std::vector<size_t>& offsets, size_t end,
                                     ParseBudget& budget) {
    std::vector<QPainterPath> glyphs;
    glyphs.reserve(offsets.size());
    for (size_t i = 0; i < offsets.size(); ++i) {
        size_t from = offsets[i];
        size_t to = i + 1 < offsets.size() ? offsets[i + 1] : end;
        if (from > to || to > table.size()) throw MalformedMovie("glyph offset out of range");
        ByteReader glyph(table.subspan(from, to - from));
        glyphs.push_back(from == to ? QPainterPath() : parseGlyph(glyph, budget));
    }
    return glyphs;
}

}  // namespace

FontDef parseFont1(ByteReader& r, ParseBudget& budget) {
    FontDef font;
    auto table = r.rest();
    if (table.size() < 2) return font;
    ByteReader offsetsReader(table);
    size_t first = offsetsReader.u16();
    size_t count = first / 2;
    if (count * 2 > table.size()) throw MalformedMovie("font offset table");
    std::vector<size_t> offsets{first};
    for (size_t i = 1; i < count; ++i) offsets.push_back(offsetsReader.u16());
    font.glyphs = readGlyphs(table, offsets, table.size(), budget);
    return font;
}

FontDef parseFont23(ByteReader& r, int version, ParseBudget& budget) {
    FontDef font;
    uint8_t flags = r.u8();
    r.u8();  // language
    auto name = r.bytes(r.u8());
    font.name = QString::fromUtf8(reinterpret_cast<const char*>(name.data()), qsizetype(name.size()));
    while (font.name.endsWith(QChar(0))) font.name.chop(1);
    font.bold = flags & 0x01;
    font.italic = flags & 0x02;
    bool wideCodes = flags & 0x04 || version == 3;
    bool wideOffsets = flags & 0x08;
    bool hasLayout = flags & 0x80;
    font.unitsPerEm = version == 3 ? 20480 : 1024;
    size_t count = r.u16();
    auto table = r.data().subspan(r.position());
    size_t offsetSize = wideOffsets ? 4 : 2;
    if ((count + 1) * offsetSize > r.remaining() && count > 0) throw MalformedMovie("font offset table");
    std::vector<size_t> offsets;
    offsets.reserve(count);
    for (size_t i = 0; i < count; ++i) offsets.push_back(wideOffsets ? r.u32() : r.u16());
    size_t codeTable = table.size();
    if (count > 0 || r.remaining() >= offsetSize) codeTable = wideOffsets ? r.u32() : r.u16();
    if (count == 0) return font;
    if (codeTable > table.size()) throw MalformedMovie("font code table offset");
    font.glyphs = readGlyphs(table, offsets, codeTable, budget);
    ByteReader rest(table.subspan(codeTable));
    for (size_t i = 0; i < count; ++i) font.codes.push_back(wideCodes ? rest.u16() : rest.u8());
    if (hasLayout && rest.remaining() >= 6) {
        font.ascent = rest.u16();
        font.descent = rest.u16();
        font.leading = rest.s16();
        for (size_t i = 0; i < count; ++i) font.advances.push_back(rest.s16());
        // Glyph bounds and kerning are not needed for drawing.
    }
    return font;
}

void applyFontInfo(ByteReader& r, FontDef& font, bool version2) {
    auto name = r.bytes(r.u8());
    font.name = QString::fromUtf8(reinterpret_cast<const char*>(name.data()), qsizetype(name.size()));
    uint8_t flags = r.u8();
    if (version2) r.u8();  // language
    font.bold = flags & 0x02;
    font.italic = flags & 0x04;
    bool wide = flags & 0x01;
    font.codes.clear();
    for (size_t i = 0; i < font.glyphs.size() && !r.atEnd(); ++i) font.codes.push_back(wide ? r.u16() : r.u8());
}

namespace {

// Adds `path` to the run of `color`, keeping one run per consecutive colour.
void addToRuns(std::vector<std::pair<QColor, QPainterPath>>& runs, const QColor& color, const QPainterPath& path) {
    if (runs.empty() || runs.back().first != color) {
        runs.emplace_back(color, QPainterPath());
        runs.back().second.setFillRule(Qt::OddEvenFill);
    }
    runs.back().second.addPath(path);
}

}  // namespace

TextDef parseText(ByteReader& r, bool withAlpha, const Movie& movie) {
    TextDef text;
    text.bounds = readRect(r);
    text.matrix = readMatrix(r);
    unsigned glyphBits = r.u8(), advanceBits = r.u8();
    const FontDef* font = nullptr;
    QColor color = Qt::black;
    double x = 0, y = 0, height = 0;
    for (;;) {
        uint8_t flags = r.u8();
        if (flags == 0) break;
        if (flags & 0x08) {
            uint16_t fontId = r.u16();
            const Character* c = movie.character(fontId);
            font = c ? std::get_if<FontDef>(c) : nullptr;
        }
        if (flags & 0x04) color = withAlpha ? readRgba(r) : readRgb(r);
        if (flags & 0x01) x = r.s16();
        if (flags & 0x02) y = r.s16();
        if (flags & 0x08) height = r.u16();
        unsigned count = r.u8();
        for (unsigned i = 0; i < count; ++i) {
            uint32_t index = r.ub(glyphBits);
            int32_t advance = r.sb(advanceBits);
            if (font && index < font->glyphs.size() && !font->glyphs[index].isEmpty()) {
                double scale = height / font->unitsPerEm;
                QTransform place(scale, 0, 0, scale, x, y);
                addToRuns(text.runs, color, place.map(font->glyphs[index]));
            }
            x += advance;
        }
        r.align();
    }
    return text;
}

namespace {

QString htmlToText(const QString& html, QColor* firstColor) {
    static const QRegularExpression fontColor(R"(<font[^>]*color\s*=\s*["']?#([0-9a-fA-F]{6}))",
                                               QRegularExpression::CaseInsensitiveOption);
    auto match = fontColor.match(html);
    if (match.hasMatch() && firstColor) *firstColor = QColor(QStringLiteral("#") + match.captured(1));
    QString s = html;
    static const QRegularExpression breaks(R"(<br\s*/?>|</p>|</li>)", QRegularExpression::CaseInsensitiveOption);
    s.replace(breaks, QStringLiteral("\n"));
    static const QRegularExpression tags(R"(<[^>]*>)");
    s.remove(tags);
    s.replace(QStringLiteral("&lt;"), QStringLiteral("<"));
    s.replace(QStringLiteral("&gt;"), QStringLiteral(">"));
    s.replace(QStringLiteral("&quot;"), QStringLiteral("\""));
    s.replace(QStringLiteral("&apos;"), QStringLiteral("'"));
    s.replace(QStringLiteral("&nbsp;"), QString(QChar(0xA0)));
    s.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    if (s.endsWith(QLatin1Char('\n'))) s.chop(1);
    return s;
}

// Lays out `field.text` with an embedded font's outlines: lines split at line breaks and,
// with word wrap, at spaces that would cross the right margin. Each character's box is kept
// for selections, and the line count and pitch for scrolling.
void layoutOutlines(EditTextDef& field, const FontDef& font) {
    double scale = field.height / font.unitsPerEm;
    double gutter = 40;  // two pixels inside the bounds, as text fields are drawn
    double left = field.bounds.left() + gutter + field.leftMargin;
    double right = field.bounds.right() - gutter - field.rightMargin;
    auto advanceOf = [&](int glyph) -> double {
        if (glyph < 0) return field.height / 4;
        if (size_t(glyph) < font.advances.size()) return font.advances[size_t(glyph)] * scale;
        return font.glyphs[size_t(glyph)].boundingRect().right() * scale + field.height / 16;
    };
    double ascent = font.ascent > 0 ? font.ascent * scale : field.height * 0.8;
    double descent = font.descent > 0 ? font.descent * scale : field.height * 0.2;
    double lineHeight = ascent + descent + field.leading;

    // Lines as ranges of the text; a space a line was wrapped at belongs to neither.
    struct Range {
        qsizetype begin, end;
    };
    std::vector<Range> lines;
    const QString& text = field.text;
    qsizetype pos = 0;
    while (true) {
        qsizetype stop = pos;
        while (stop < text.size() && text[stop] != QLatin1Char('\r') && text[stop] != QLatin1Char('\n')) ++stop;
        if (!field.wordWrap) {
            lines.push_back({pos, stop});
        } else {
            Range line{pos, pos};
            double width = 0;
            const double space = advanceOf(font.glyphFor(u' '));
            for (qsizetype wordBegin = pos;;) {
                qsizetype wordEnd = wordBegin;
                double w = 0;
                while (wordEnd < stop && text[wordEnd] != QLatin1Char(' '))
                    w += advanceOf(font.glyphFor(text[wordEnd++].unicode()));
                if (line.end > line.begin && left + width + space + w > right) {
                    lines.push_back(line);
                    line = {wordBegin, wordBegin};
                    width = 0;
                }
                if (line.end > line.begin) width += space;
                line.end = wordEnd;
                width += w;
                if (wordEnd >= stop) break;
                wordBegin = wordEnd + 1;
            }
            lines.push_back(line);
        }
        if (stop >= text.size()) break;
        pos = stop + (text[stop] == QLatin1Char('\r') && stop + 1 < text.size() && text[stop + 1] == QLatin1Char('\n') ? 2 : 1);
    }
    field.charBoxes.assign(size_t(text.size()), QRectF());
    double baseline = field.bounds.top() + gutter + ascent;
    for (size_t n = 0; n < lines.size(); ++n) {
        const Range& line = lines[n];
        double width = 0;
        for (qsizetype i = line.begin; i < line.end; ++i) width += advanceOf(font.glyphFor(text[i].unicode()));
        double x = left + (n == 0 ? field.indent : 0);
        if (field.align == 1) x = right - width;
        else if (field.align == 2) x = (left + right - width) / 2;
        for (qsizetype i = line.begin; i < line.end; ++i) {
            QChar c = text[i];
            int glyph = font.glyphFor(c.unicode());
            QChar shown = field.password ? QLatin1Char('*') : c;
            if (field.password) glyph = font.glyphFor(shown.unicode());
            if (glyph >= 0 && size_t(glyph) < font.glyphs.size()) {
                QTransform place(scale, 0, 0, scale, x, baseline);
                addToRuns(field.outlineRuns, field.color, place.map(font.glyphs[size_t(glyph)]));
            }
            field.charBoxes[size_t(i)] = QRectF(x, baseline - ascent, advanceOf(glyph), ascent + descent);
            x += advanceOf(glyph);
        }
        // The break after the line (a newline, a space wrapped at) selects as an empty box at its end.
        if (line.end < text.size()) field.charBoxes[size_t(line.end)] = QRectF(x, baseline - ascent, 0, ascent + descent);
        baseline += lineHeight;
    }
    field.linePitch = lineHeight;
    field.hasOutlines = true;
}

}  // namespace

void setEditTextContent(EditTextDef& field, const QString& content, bool asHtml, const Movie& movie) {
    field.initialText = content;
    field.text = asHtml ? htmlToText(content, nullptr) : content;
    if (asHtml) {
        // The paragraph alignment is the HTML's own, left unless its first paragraph says.
        static const QRegularExpression paragraphAlign(R"(<p[^>]*\salign\s*=\s*["']?(left|right|center|justify))",
                                                       QRegularExpression::CaseInsensitiveOption);
        const auto match = paragraphAlign.match(content);
        const QString align = match.hasMatch() ? match.captured(1).toLower() : QString();
        field.align = align == QLatin1String("right")     ? 1
                      : align == QLatin1String("center")  ? 2
                      : align == QLatin1String("justify") ? 3
                                                          : 0;
    }
    field.outlineRuns.clear();
    field.charBoxes.clear();
    field.hasOutlines = false;
    const Character* c = movie.character(field.fontId);
    const FontDef* font = c ? std::get_if<FontDef>(c) : nullptr;
    if (font && field.useOutlines && !font->glyphs.empty() && !font->codes.empty()) layoutOutlines(field, *font);
}

FieldLayout layoutField(const EditTextDef& f, const Movie& movie) {
    FieldLayout out;
    const Character* c = movie.character(f.fontId);
    const FontDef* font = c ? std::get_if<FontDef>(c) : nullptr;
    const bool embedded = f.useOutlines && font && !font->advances.empty() && !font->codes.empty();
    device_font::Style style;
    style.size = f.height / 20;
    style.bold = font && font->bold;
    style.letterSpacing = f.letterSpacing;
    style.wholePixels = !f.useOutlines;
    out.ascent = device_font::ascent(style.size, style.wholePixels);
    out.descent = device_font::descent(style.size, style.wholePixels);
    out.advanceOf = [style](char16_t ch) { return device_font::advance(ch, style); };
    if (embedded) {
        const double scale = style.size / font->unitsPerEm;
        out.ascent = font->ascent * scale;
        out.descent = font->descent * scale;
        out.advanceOf = [font, scale, style](char16_t ch) {
            const int glyph = font->glyphFor(ch);
            if (glyph < 0 || size_t(glyph) >= font->advances.size()) return device_font::advance(ch, style);
            return font->advances[size_t(glyph)] * scale + style.letterSpacing;
        };
    }
    std::optional<double> wrapWidth;
    if (f.wordWrap) {
        constexpr double kGutters = 4;
        wrapWidth = std::max(0.0, f.bounds.width() / 20 - kGutters - (f.leftMargin + f.rightMargin + f.blockIndent) / 20);
    }
    out.lines = device_font::layout(
        std::u16string_view(reinterpret_cast<const char16_t*>(f.text.utf16()), size_t(f.text.size())), out.advanceOf,
        wrapWidth, f.indent / 20);
    return out;
}

namespace {

// How many lines, of those from the first shown on, fit whole in the field (at least one).
struct ScrollMetrics {
    int lines = 1;
    int fitting = 1;
};

ScrollMetrics scrollMetrics(const EditTextDef& f, const Movie& movie) {
    ScrollMetrics m;
    if (f.text.isEmpty()) return m;
    const FieldLayout layout = layoutField(f, movie);
    m.lines = std::max(1, int(layout.lines.size()));
    const double lineHeight = layout.ascent + layout.descent, leading = f.leading / 20;
    const double visible = f.bounds.height() / 20 - 4;  // the gutters above and below
    // k lines take k line heights and the leading between them.
    m.fitting = lineHeight + leading > 0 ? int(std::floor((visible + leading) / (lineHeight + leading))) : m.lines;
    m.fitting = std::clamp(m.fitting, 1, m.lines);
    return m;
}

}  // namespace

int maxScroll(const EditTextDef& field, const Movie& movie) {
    const ScrollMetrics m = scrollMetrics(field, movie);
    return m.lines - m.fitting + 1;
}

int bottomScroll(const EditTextDef& field, const Movie& movie) {
    const ScrollMetrics m = scrollMetrics(field, movie);
    const int first = std::clamp(field.scroll, 1, m.lines - m.fitting + 1);
    return first + m.fitting - 1;
}

PlacedText placeText(const EditTextDef& f, const Movie& movie) {
    PlacedText out;
    if (f.hasOutlines) {
        out.boxes = f.charBoxes;
        out.pitch = f.linePitch;
        return out;
    }
    const FieldLayout layout = layoutField(f, movie);
    out.ascent = layout.ascent * 20;
    const double lineHeight = (layout.ascent + layout.descent) * 20;
    out.pitch = lineHeight + f.leading;
    const double left = f.bounds.left() + 40 + f.leftMargin, right = f.bounds.right() - 40 - f.rightMargin;
    const QString& text = f.text;
    out.boxes.assign(size_t(text.size()), QRectF());
    double top = f.bounds.top() + 40;
    for (const device_font::Line& line : layout.lines) {
        const size_t begin = std::min(line.begin, size_t(text.size())), end = std::min(line.end, size_t(text.size()));
        const bool paragraphStart =
            begin == 0 || text[qsizetype(begin) - 1] == QLatin1Char('\r') || text[qsizetype(begin) - 1] == QLatin1Char('\n');
        double width = line.width;
        // Lines set other than flush left stand without their trailing spaces.
        if (f.align != 0)
            for (size_t i = end; i > begin && text[qsizetype(i) - 1] == QLatin1Char(' '); --i) width -= layout.advanceOf(u' ');
        double x = left + (paragraphStart ? f.indent : 0);
        if (f.align == 1) x = right - width * 20;
        else if (f.align == 2) x = (left + right - width * 20) / 2;
        for (size_t i = begin; i < end; ++i) {
            const double advance = layout.advanceOf(f.password ? u'*' : char16_t(text[qsizetype(i)].unicode())) * 20;
            out.boxes[i] = QRectF(x, top, advance, lineHeight);
            x += advance;
        }
        // The break after the line, both units of a CR LF.
        for (size_t i = end; i < size_t(text.size()) && i < end + 2; ++i) {
            const QChar c = text[qsizetype(i)];
            if (i > end && !(c == QLatin1Char('\n') && text[qsizetype(end)] == QLatin1Char('\r'))) break;
            out.boxes[i] = QRectF(x, top, 0, lineHeight);
        }
        top += out.pitch;
    }
    return out;
}

int caretIndexAt(const std::vector<QRectF>& boxes, QPointF p) {
    if (boxes.empty()) return 0;
    auto placed = std::find_if(boxes.begin(), boxes.end(), [](const QRectF& b) { return !b.isNull(); });
    if (placed == boxes.end()) return 0;
    // The line: the lowest one starting above the point, the first when none does.
    double lineTop = placed->top();
    for (const QRectF& b : boxes)
        if (!b.isNull() && b.top() <= p.y()) lineTop = std::max(lineTop, b.top());
    int last = -1;
    for (size_t i = 0; i < boxes.size(); ++i) {
        const QRectF& b = boxes[i];
        if (b.isNull()) continue;
        if (b.top() != lineTop) {
            if (last >= 0) break;
            continue;
        }
        // A line break ends the line: the caret goes before it.
        if (b.width() <= 0 || p.x() < b.center().x()) return int(i);
        last = int(i);
    }
    return last + 1;
}

void applyTextSettings(ByteReader& r, EditTextDef& field) {
    const uint8_t flags = r.u8();
    field.advancedAntiAlias = ((flags >> 6) & 3) == 1;
    field.gridFit = std::min<uint8_t>((flags >> 3) & 7, 2);
    field.thickness = r.f32();
    field.sharpness = r.f32();
}

EditTextDef parseEditText(ByteReader& r, const Movie& movie) {
    EditTextDef field;
    field.bounds = readRect(r);
    uint8_t f1 = r.u8(), f2 = r.u8();
    bool hasText = f1 & 0x80;
    field.wordWrap = f1 & 0x40;
    field.multiline = f1 & 0x20;
    field.password = f1 & 0x10;
    bool hasColor = f1 & 0x04, hasMaxLength = f1 & 0x02, hasFont = f1 & 0x01;
    bool hasFontClass = f2 & 0x80, hasLayout = f2 & 0x20;
    field.border = f2 & 0x08;
    field.background = field.border;
    field.readOnly = f1 & 0x08;
    field.autoSize = f2 & 0x40;
    if (field.autoSize) field.autoSizeMode = EditTextDef::AutoSize::Left;
    field.selectable = !(f2 & 0x10);
    field.html = f2 & 0x02;
    field.useOutlines = f2 & 0x01;
    if (hasFont) field.fontId = r.u16();
    if (hasFontClass) r.cstring();
    if (hasFont || hasFontClass) field.height = r.u16();
    if (hasColor) field.color = readRgba(r);
    field.hasMaxLength = hasMaxLength;
    if (hasMaxLength) field.maxLength = r.u16();
    if (hasLayout) {
        field.align = r.u8();
        field.leftMargin = r.u16();
        field.rightMargin = r.u16();
        field.indent = int16_t(r.u16());  // signed, as the player reads it
        field.leading = r.s16();
    }
    // HTML text carries its own paragraph alignment: the stored one does not apply.
    if (field.html) field.align = 0;
    field.variableName = QString::fromUtf8(QByteArray::fromStdString(r.cstring()));
    if (hasText) {
        QString text = QString::fromUtf8(QByteArray::fromStdString(r.cstring()));
        field.initialText = text;
        field.text = field.html ? htmlToText(text, hasColor ? nullptr : &field.color) : text;
    }
    const Character* c = movie.character(field.fontId);
    const FontDef* font = c ? std::get_if<FontDef>(c) : nullptr;
    if (font && field.useOutlines && !font->glyphs.empty() && !font->codes.empty()) layoutOutlines(field, *font);
    return field;
}

}  // namespace detail
}  // namespace swf
