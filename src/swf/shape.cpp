// Shapes: fill and line styles, the edge records, and the step from SWF's edge model
// (each edge names the fill on its left and on its right) to closed areas per fill.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cmath>
#include <unordered_map>

#include "swf/parse_internal.h"

namespace swf {
namespace detail {
namespace {

QColor readColor(ByteReader& r, bool alpha) { return alpha ? readRgba(r) : readRgb(r); }

Qt::PenCapStyle capStyle(unsigned v) {
    switch (v) {
        case 1: return Qt::FlatCap;
        case 2: return Qt::SquareCap;
        default: return Qt::RoundCap;
    }
}

Qt::PenJoinStyle joinStyle(unsigned v) {
    switch (v) {
        case 1: return Qt::BevelJoin;
        case 2: return Qt::MiterJoin;
        default: return Qt::RoundJoin;
    }
}

// One fill style; for morph shapes `end` receives the end state.
void readFillStyle(ByteReader& r, int version, bool morph, FillStyle& fill, FillStyle* end) {
    uint8_t type = r.u8();
    bool alpha = version >= 3 || morph;
    fill = FillStyle{};
    if (type == 0x00) {
        fill.kind = FillStyle::Kind::Solid;
        fill.color = readColor(r, alpha);
        if (end) {
            *end = fill;
            end->color = readColor(r, true);
        }
        return;
    }
    if (type == 0x10 || type == 0x12 || type == 0x13) {
        fill.kind = type == 0x10 ? FillStyle::Kind::Linear
                    : type == 0x12 ? FillStyle::Kind::Radial
                                   : FillStyle::Kind::Focal;
        fill.matrix = readMatrix(r);
        if (end) {
            *end = fill;
            end->matrix = readMatrix(r);
        }
        uint8_t head = r.u8();
        int count = head & 0x0F;
        fill.spread = (head >> 6) & 3;
        fill.interpolation = (head >> 4) & 3;
        if (end) {
            end->spread = fill.spread;
            end->interpolation = fill.interpolation;
        }
        for (int i = 0; i < count; ++i) {
            GradientStop stop;
            stop.position = r.u8() / 255.0f;
            stop.color = readColor(r, alpha);
            fill.stops.push_back(stop);
            if (end) {
                GradientStop endStop;
                endStop.position = r.u8() / 255.0f;
                endStop.color = readColor(r, true);
                end->stops.push_back(endStop);
            }
        }
        if (type == 0x13) {
            fill.focal = std::clamp(float(r.fixed8()), -1.0f, 1.0f);
            if (end) end->focal = std::clamp(float(r.fixed8()), -1.0f, 1.0f);
        }
        return;
    }
    if (type >= 0x40 && type <= 0x43) {
        fill.kind = FillStyle::Kind::Bitmap;
        fill.bitmapId = r.u16();
        fill.matrix = readMatrix(r);
        fill.repeat = type == 0x40 || type == 0x42;
        fill.smooth = type == 0x40 || type == 0x41;
        if (end) {
            *end = fill;
            end->matrix = readMatrix(r);
        }
        return;
    }
    throw MalformedMovie("unknown fill style");
}

void readLineStyle(ByteReader& r, int version, bool morph, LineStyle& line, LineStyle* end) {
    line = LineStyle{};
    line.width = r.u16();
    if (end) {
        *end = line;
        end->width = r.u16();
    }
    bool style2 = (!morph && version >= 4) || (morph && version >= 2);
    if (!style2) {
        line.color = readColor(r, version >= 3 || morph);
        if (end) end->color = readColor(r, true);
        return;
    }
    unsigned startCap = r.ub(2), join = r.ub(2);
    bool hasFill = r.flag();
    line.noHScale = r.flag();
    line.noVScale = r.flag();
    r.ub(1);  // pixel hinting
    r.ub(5);
    r.ub(1);  // no close
    r.ub(2);  // end cap: QPainter has one cap per pen; the start cap is used
    line.cap = capStyle(startCap);
    line.join = joinStyle(join);
    if (join == 2) line.miterLimit = float(r.fixed8());
    if (end) {
        end->cap = line.cap;
        end->join = line.join;
        end->miterLimit = line.miterLimit;
        end->noHScale = line.noHScale;
        end->noVScale = line.noVScale;
    }
    if (hasFill) {
        FillStyle fill, endFill;
        readFillStyle(r, version, morph, fill, end ? &endFill : nullptr);
        if (fill.kind == FillStyle::Kind::Solid) {
            line.color = fill.color;
            if (end) end->color = endFill.color;
        } else {
            line.fill = fill;
            if (end) end->fill = endFill;
        }
    } else {
        line.color = readRgba(r);
        if (end) end->color = readRgba(r);
    }
}

size_t readCount(ByteReader& r, int version) {
    size_t count = r.u8();
    if (count == 0xFF && version >= 2) count = r.u16();
    return count;
}

void readStyles(ByteReader& r, int version, bool morph, std::vector<FillStyle>& fills, std::vector<LineStyle>& lines,
                std::vector<FillStyle>* endFills, std::vector<LineStyle>* endLines) {
    size_t fillCount = readCount(r, morph ? 2 : version);
    if (fillCount > r.remaining()) throw MalformedMovie("fill style count");
    fills.resize(fillCount);
    if (endFills) endFills->resize(fillCount);
    for (size_t i = 0; i < fillCount; ++i) readFillStyle(r, version, morph, fills[i], endFills ? &(*endFills)[i] : nullptr);
    size_t lineCount = readCount(r, morph ? 2 : version);
    if (lineCount > r.remaining()) throw MalformedMovie("line style count");
    lines.resize(lineCount);
    if (endLines) endLines->resize(lineCount);
    for (size_t i = 0; i < lineCount; ++i) readLineStyle(r, version, morph, lines[i], endLines ? &(*endLines)[i] : nullptr);
}

// Reads shape records. `newLayer` is called at every new style array (version >= 2);
// every edge goes to `edge` with the current styles and absolute coordinates.
template <typename NewLayer, typename AddEdge>
void readRecords(ByteReader& r, int version, ParseBudget& budget, NewLayer&& newLayer, AddEdge&& edge) {
    r.align();
    unsigned fillBits = r.ub(4), lineBits = r.ub(4);
    // Positions are kept wide and clamped, so that hostile deltas cannot overflow.
    int64_t x = 0, y = 0;
    auto point = [](int64_t px, int64_t py) {
        constexpr int64_t kLimit = int64_t(1) << 28;
        return QPoint(int(std::clamp(px, -kLimit, kLimit)), int(std::clamp(py, -kLimit, kLimit)));
    };
    int fill0 = 0, fill1 = 0, line = 0;
    size_t count = 0;
    for (;;) {
        if (r.atEnd()) break;  // some writers leave out the end record at the end of a tag
        if (++count % 4096 == 0) budget.spendEdges(4096);
        bool isEdge = r.flag();
        if (!isEdge) {
            unsigned flags = r.ub(5);
            if (flags == 0) break;
            if (flags & 0x01) {
                unsigned bits = r.ub(5);
                x = r.sb(bits);
                y = r.sb(bits);
            }
            if (flags & 0x02) fill0 = int(r.ub(fillBits));
            if (flags & 0x04) fill1 = int(r.ub(fillBits));
            if (flags & 0x08) line = int(r.ub(lineBits));
            if ((flags & 0x10) && version >= 2) {
                newLayer(r);
                r.align();
                fillBits = r.ub(4);
                lineBits = r.ub(4);
                // A new style array also starts with no styles selected unless set here.
                if (!(flags & 0x02)) fill0 = 0;
                if (!(flags & 0x04)) fill1 = 0;
                if (!(flags & 0x08)) line = 0;
            }
            continue;
        }
        Edge e;
        e.fill0 = fill0;
        e.fill1 = fill1;
        e.line = line;
        e.from = point(x, y);
        bool straight = r.flag();
        unsigned bits = r.ub(4) + 2;
        if (straight) {
            int dx = 0, dy = 0;
            if (r.flag()) {
                dx = r.sb(bits);
                dy = r.sb(bits);
            } else if (r.flag()) {
                dy = r.sb(bits);
            } else {
                dx = r.sb(bits);
            }
            x = std::clamp<int64_t>(x + dx, INT32_MIN, INT32_MAX);
            y = std::clamp<int64_t>(y + dy, INT32_MIN, INT32_MAX);
            e.to = point(x, y);
            e.control = (e.from + e.to) / 2;
        } else {
            int64_t cx = std::clamp<int64_t>(x + r.sb(bits), INT32_MIN, INT32_MAX);
            int64_t cy = std::clamp<int64_t>(y + r.sb(bits), INT32_MIN, INT32_MAX);
            x = std::clamp<int64_t>(cx + r.sb(bits), INT32_MIN, INT32_MAX);
            y = std::clamp<int64_t>(cy + r.sb(bits), INT32_MIN, INT32_MAX);
            e.control = point(cx, cy);
            e.to = point(x, y);
            e.curve = true;
        }
        edge(e);
    }
    budget.spendEdges(count % 4096);
}

uint64_t pointKey(QPoint p) { return uint64_t(uint32_t(p.x())) << 32 | uint32_t(p.y()); }

}  // namespace

QPainterPath areaOfFill(const std::vector<Edge>& edges, int fill) {
    // Directed boundary: the fill lies on the same side of every edge (left edges reversed).
    struct Directed {
        QPoint from, control, to;
        bool curve;
    };
    std::vector<Directed> directed;
    for (const Edge& e : edges) {
        if (e.fill0 == e.fill1) continue;  // same fill on both sides: an inner edge
        if (e.fill1 == fill) directed.push_back({e.from, e.control, e.to, e.curve});
        else if (e.fill0 == fill) directed.push_back({e.to, e.control, e.from, e.curve});
    }
    QPainterPath path;
    path.setFillRule(Qt::OddEvenFill);
    if (directed.empty()) return path;
    std::unordered_multimap<uint64_t, size_t> byStart;
    byStart.reserve(directed.size());
    for (size_t i = 0; i < directed.size(); ++i) byStart.emplace(pointKey(directed[i].from), i);
    std::vector<bool> used(directed.size(), false);
    auto take = [&](QPoint at) -> long {
        auto [first, last] = byStart.equal_range(pointKey(at));
        for (auto it = first; it != last; ++it) {
            if (!used[it->second]) {
                used[it->second] = true;
                long index = long(it->second);
                byStart.erase(it);
                return index;
            }
        }
        return -1;
    };
    for (size_t i = 0; i < directed.size(); ++i) {
        if (used[i]) continue;
        long current = take(directed[i].from);
        // take() may hand back another unused edge from the same point; either starts a loop.
        QPoint start = directed[current].from;
        path.moveTo(start);
        while (current >= 0) {
            const Directed& d = directed[current];
            if (d.curve) path.quadTo(d.control, d.to);
            else path.lineTo(d.to);
            if (d.to == start) break;
            current = take(d.to);
        }
        path.closeSubpath();
    }
    return path;
}

ShapeDef parseShape(ByteReader& r, int version, ParseBudget& budget) {
    ShapeDef shape;
    shape.bounds = readRect(r);
    bool nonZeroWinding = false;
    if (version == 4) {
        readRect(r);  // edge bounds
        nonZeroWinding = r.u8() & 0x04;
    }
    shape.layers.emplace_back();
    readStyles(r, version, false, shape.layers.back().fills, shape.layers.back().lines, nullptr, nullptr);
    readRecords(
        r, version, budget,
        [&](ByteReader& rr) {
            shape.layers.emplace_back();
            readStyles(rr, version, false, shape.layers.back().fills, shape.layers.back().lines, nullptr, nullptr);
        },
        [&](const Edge& e) { shape.layers.back().edges.push_back(e); });
    for (auto& layer : shape.layers) {
        layer.buildPaths();
        if (nonZeroWinding)
            for (auto& [fill, path] : layer.fillPaths) path.setFillRule(Qt::WindingFill);
    }
    return shape;
}

MorphShapeDef parseMorphShape(ByteReader& r, int version, ParseBudget& budget) {
    MorphShapeDef morph;
    morph.startBounds = readRect(r);
    morph.endBounds = readRect(r);
    if (version == 2) {
        readRect(r);
        readRect(r);
        r.u8();
    }
    uint32_t offset = r.u32();
    size_t endEdgesAt = r.position() + offset;
    readStyles(r, version, true, morph.startFills, morph.startLines, &morph.endFills, &morph.endLines);
    auto ignoreLayer = [](ByteReader&) { throw MalformedMovie("new styles inside a morph shape"); };
    {
        // The start edges run up to the end edges' offset.
        if (endEdgesAt > r.data().size() || endEdgesAt < r.position()) throw MalformedMovie("morph offset");
        ByteReader start(r.data().subspan(r.position(), endEdgesAt - r.position()));
        readRecords(start, 1, budget, ignoreLayer, [&](const Edge& e) { morph.startEdges.push_back(e); });
    }
    ByteReader end(r.data().subspan(endEdgesAt));
    readRecords(end, 1, budget, ignoreLayer, [&](const Edge& e) { morph.endEdges.push_back(e); });
    return morph;
}

QPainterPath parseGlyph(ByteReader& r, ParseBudget& budget) {
    std::vector<Edge> edges;
    readRecords(
        r, 1, budget, [](ByteReader&) {}, [&](Edge e) {
            // Glyphs name their one fill on either side; treat both sides alike.
            e.fill0 = e.fill0 ? 1 : 0;
            e.fill1 = e.fill1 ? 1 : 0;
            edges.push_back(e);
        });
    return areaOfFill(edges, 1);
}

}  // namespace detail

void ShapeLayer::buildPaths() {
    fillPaths.clear();
    linePaths.clear();
    // Sort the edges by style in one pass: a shape with thousands of styles and edges must not
    // cost styles x edges.
    std::vector<std::vector<Edge>> edgesOfFill(fills.size());
    std::vector<std::vector<const Edge*>> edgesOfLine(lines.size());
    const auto inRange = [](int style, size_t count) { return style >= 1 && size_t(style) <= count; };
    for (const Edge& e : edges) {
        if (e.fill0 != e.fill1) {
            if (inRange(e.fill0, fills.size())) edgesOfFill[size_t(e.fill0 - 1)].push_back(e);
            if (inRange(e.fill1, fills.size())) edgesOfFill[size_t(e.fill1 - 1)].push_back(e);
        }
        if (inRange(e.line, lines.size())) edgesOfLine[size_t(e.line - 1)].push_back(&e);
    }
    for (size_t f = 0; f < fills.size(); ++f) {
        QPainterPath area = detail::areaOfFill(edgesOfFill[f], int(f + 1));
        if (!area.isEmpty()) fillPaths.emplace_back(int(f), std::move(area));
    }
    for (size_t l = 0; l < lines.size(); ++l) {
        QPainterPath path;
        bool any = false;
        QPoint last, subpathStart;
        for (const Edge* edge : edgesOfLine[l]) {
            const Edge& e = *edge;
            if (!any || e.from != last) {
                if (any && last == subpathStart) path.closeSubpath();
                path.moveTo(e.from);
                subpathStart = e.from;
            }
            if (e.curve) path.quadTo(e.control, e.to);
            else path.lineTo(e.to);
            last = e.to;
            any = true;
        }
        if (any && last == subpathStart && path.elementCount() > 2) path.closeSubpath();
        if (any) linePaths.emplace_back(int(l), std::move(path));
    }
}

namespace {

QColor mix(const QColor& a, const QColor& b, double t) {
    auto m = [t](int x, int y) { return int(std::lround(x + (y - x) * t)); };
    return QColor(m(a.red(), b.red()), m(a.green(), b.green()), m(a.blue(), b.blue()), m(a.alpha(), b.alpha()));
}

QPointF mix(QPointF a, QPointF b, double t) { return a + (b - a) * t; }

QTransform mix(const QTransform& a, const QTransform& b, double t) {
    auto m = [t](double x, double y) { return x + (y - x) * t; };
    return QTransform(m(a.m11(), b.m11()), m(a.m12(), b.m12()), m(a.m21(), b.m21()), m(a.m22(), b.m22()),
                      m(a.dx(), b.dx()), m(a.dy(), b.dy()));
}

FillStyle mix(const FillStyle& a, const FillStyle& b, double t) {
    FillStyle out = a;
    out.color = mix(a.color, b.color, t);
    out.matrix = mix(a.matrix, b.matrix, t);
    out.focal = float(a.focal + (b.focal - a.focal) * t);
    for (size_t i = 0; i < out.stops.size() && i < b.stops.size(); ++i) {
        out.stops[i].position = float(a.stops[i].position + (b.stops[i].position - a.stops[i].position) * t);
        out.stops[i].color = mix(a.stops[i].color, b.stops[i].color, t);
    }
    return out;
}

}  // namespace

const ShapeDef& MorphShapeDef::at(int ratio) const {
    ratio = std::clamp(ratio, 0, 65535);
    if (auto found = cached_.find(ratio); found != cached_.end()) return found->second;
    double t = ratio / 65535.0;
    ShapeDef shape;
    shape.bounds = QRectF(mix(startBounds.topLeft(), endBounds.topLeft(), t),
                          mix(startBounds.bottomRight(), endBounds.bottomRight(), t));
    ShapeLayer layer;
    for (size_t i = 0; i < startFills.size(); ++i)
        layer.fills.push_back(i < endFills.size() ? mix(startFills[i], endFills[i], t) : startFills[i]);
    for (size_t i = 0; i < startLines.size(); ++i) {
        LineStyle line = startLines[i];
        if (i < endLines.size()) {
            const LineStyle& e = endLines[i];
            line.width = float(line.width + (e.width - line.width) * t);
            line.color = mix(line.color, e.color, t);
            if (line.fill && e.fill) line.fill = mix(*line.fill, *e.fill, t);
        }
        layer.lines.push_back(line);
    }
    // Edges pair up one to one; a straight edge stands for a curve with its control at
    // the midpoint, so straight and curved partners blend.
    size_t count = std::min(startEdges.size(), endEdges.size());
    for (size_t i = 0; i < count; ++i) {
        const Edge& s = startEdges[i];
        const Edge& e = endEdges[i];
        Edge m = s;
        m.from = mix(QPointF(s.from), QPointF(e.from), t).toPoint();
        m.to = mix(QPointF(s.to), QPointF(e.to), t).toPoint();
        m.control = mix(QPointF(s.control), QPointF(e.control), t).toPoint();
        m.curve = s.curve || e.curve;
        layer.edges.push_back(m);
    }
    // Rounding to whole twips above keeps shared end points equal, so areas still close.
    layer.buildPaths();
    shape.layers.push_back(std::move(layer));
    // Room for it: the oldest shapes go first. The one returned is never dropped before the
    // next call.
    constexpr std::size_t kMorphCacheEntries = 64;
    constexpr std::size_t kMorphCacheEdges = 1 << 20;
    const std::size_t edges = count;
    while (!cacheOrder_.empty() &&
           (cached_.size() >= kMorphCacheEntries || cachedEdges_ + edges > kMorphCacheEdges)) {
        cachedEdges_ -= std::min(cachedEdges_, cached_[cacheOrder_.front()].layers.front().edges.size());
        cached_.erase(cacheOrder_.front());
        cacheOrder_.erase(cacheOrder_.begin());
    }
    cacheOrder_.push_back(ratio);
    cachedEdges_ += edges;
    return cached_[ratio] = std::move(shape);
}

}  // namespace swf
