#include "swf/decoded_size.h"

#include "swf/byte_reader.h"

#include <algorithm>
#include <string>
#include <type_traits>

namespace swf {
namespace {

// A path element is two coordinates and a type; Qt keeps a little more around them.
constexpr std::size_t kPathElementBytes = 32;

std::size_t pathSize(const QPainterPath& path) { return sizeof(QPainterPath) + std::size_t(path.elementCount()) * kPathElementBytes; }

template <typename Pairs>
std::size_t runsSize(const Pairs& runs) {
    std::size_t bytes = 0;
    for (const auto& run : runs) bytes += sizeof(run) + pathSize(run.second);
    return bytes;
}

std::size_t fillsSize(const std::vector<FillStyle>& fills) {
    std::size_t bytes = 0;
    for (const auto& fill : fills) bytes += sizeof(fill) + fill.stops.size() * sizeof(GradientStop);
    return bytes;
}

std::size_t layersSize(const std::vector<ShapeLayer>& layers) {
    std::size_t bytes = 0;
    for (const auto& layer : layers)
        bytes += sizeof(layer) + fillsSize(layer.fills) + layer.lines.size() * sizeof(LineStyle) +
                 layer.edges.size() * sizeof(Edge) + runsSize(layer.fillPaths) + runsSize(layer.linePaths);
    return bytes;
}

std::size_t timelineSize(const Timeline& timeline) {
    std::size_t bytes = sizeof(timeline);
    for (const auto& frame : timeline.frames) bytes += sizeof(frame) + frame.commands.size() * sizeof(FrameCommand);
    return bytes;
}

}  // namespace

std::size_t decodedSize(const Character& character) {
    return sizeof(Character) + std::visit(
                                   [](const auto& def) -> std::size_t {
                                       using T = std::decay_t<decltype(def)>;
                                       if constexpr (std::is_same_v<T, BitmapDef>) {
                                           return std::size_t(def.image.sizeInBytes());
                                       } else if constexpr (std::is_same_v<T, ShapeDef>) {
                                           return layersSize(def.layers);
                                       } else if constexpr (std::is_same_v<T, MorphShapeDef>) {
                                           // Both outlines, and the shape built for one ratio at a time
                                           // at least (about one outline with its paths).
                                           const std::size_t edges = def.startEdges.size() + def.endEdges.size();
                                           return fillsSize(def.startFills) + fillsSize(def.endFills) +
                                                  edges * sizeof(Edge) + edges * kPathElementBytes;
                                       } else if constexpr (std::is_same_v<T, FontDef>) {
                                           std::size_t bytes = def.codes.size() * 2 + def.advances.size() * 4;
                                           for (const auto& glyph : def.glyphs) bytes += pathSize(glyph);
                                           return bytes;
                                       } else if constexpr (std::is_same_v<T, TextDef>) {
                                           return runsSize(def.runs);
                                       } else if constexpr (std::is_same_v<T, EditTextDef>) {
                                           return std::size_t(def.text.size()) * 2 + runsSize(def.outlineRuns);
                                       } else if constexpr (std::is_same_v<T, media::SoundDef>) {
                                           return def.data.size();
                                       } else if constexpr (std::is_same_v<T, SpriteDef>) {
                                           return timelineSize(def.timeline);
                                       } else {
                                           return 0;  // small records, bounded by the parser's command budget
                                       }
                                   },
                                   character);
}

std::size_t edgesToDraw(const Character& character) {
    if (const auto* shape = std::get_if<ShapeDef>(&character)) {
        std::size_t edges = 0;
        for (const auto& layer : shape->layers) edges += layer.edges.size();
        return edges;
    }
    if (const auto* morph = std::get_if<MorphShapeDef>(&character))
        return std::max(morph->startEdges.size(), morph->endEdges.size());
    return 0;
}

void admitCharacter(const Movie& movie, const Character& character) {
    if (edgesToDraw(character) > kMaxEdgesPerShape)
        throw MalformedMovie("a shape of more than " + std::to_string(kMaxEdgesPerShape) + " edges");
    movie.memory->charge(decodedSize(character));
}

}  // namespace swf
