// The movie parser: header, body decompression, the tag stream, the display commands of
// each timeline and the characters that do not need a file of their own.
#include <lzma.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>

#include "swf/decoded_size.h"
#include "swf/media/media_parse.h"
#include "swf/parse_internal.h"

namespace swf {

using detail::ParseBudget;

// ---- Colour transforms -------------------------------------------------------------------

bool ColorTransform::isIdentity() const {
    return mul[0] == 1 && mul[1] == 1 && mul[2] == 1 && mul[3] == 1 && add[0] == 0 && add[1] == 0 &&
           add[2] == 0 && add[3] == 0;
}

bool ColorTransform::onlyAlphaMultiplier() const {
    return mul[0] == 1 && mul[1] == 1 && mul[2] == 1 && add[0] == 0 && add[1] == 0 && add[2] == 0 && add[3] == 0;
}

QColor ColorTransform::apply(const QColor& c) const {
    auto channel = [&](int i, int v) { return std::clamp(int(std::lround(v * mul[i] + add[i])), 0, 255); };
    return QColor(channel(0, c.red()), channel(1, c.green()), channel(2, c.blue()), channel(3, c.alpha()));
}

ColorTransform ColorTransform::after(const ColorTransform& inner) const {
    ColorTransform out;
    for (int i = 0; i < 4; ++i) {
        out.mul[i] = mul[i] * inner.mul[i];
        out.add[i] = mul[i] * inner.add[i] + add[i];
    }
    return out;
}

QSize Movie::stageSizePixels() const {
    int w = std::max(1, int(std::floor(stage.width() / 20.0)));
    int h = std::max(1, int(std::floor(stage.height() / 20.0)));
    return {std::min(w, 8192), std::min(h, 8192)};
}

namespace detail {

QRectF readRect(ByteReader& r) {
    r.align();
    unsigned bits = r.ub(5);
    double xmin = r.sb(bits), xmax = r.sb(bits), ymin = r.sb(bits), ymax = r.sb(bits);
    r.align();
    return QRectF(QPointF(xmin, ymin), QPointF(xmax, ymax));
}

QTransform readMatrix(ByteReader& r) {
    r.align();
    double sx = 1, sy = 1, r0 = 0, r1 = 0;
    if (r.flag()) {
        unsigned bits = r.ub(5);
        sx = r.fb(bits);
        sy = r.fb(bits);
    }
    if (r.flag()) {
        unsigned bits = r.ub(5);
        r0 = r.fb(bits);
        r1 = r.fb(bits);
    }
    unsigned bits = r.ub(5);
    double tx = r.sb(bits), ty = r.sb(bits);
    r.align();
    return QTransform(sx, r0, r1, sy, tx, ty);
}

ColorTransform readColorTransform(ByteReader& r, bool withAlpha) {
    r.align();
    ColorTransform cx;
    bool hasAdd = r.flag(), hasMul = r.flag();
    unsigned bits = r.ub(4);
    int channels = withAlpha ? 4 : 3;
    if (hasMul)
        for (int i = 0; i < channels; ++i) cx.mul[i] = r.sb(bits) / 256.0f;
    if (hasAdd)
        for (int i = 0; i < channels; ++i) cx.add[i] = float(r.sb(bits));
    r.align();
    return cx;
}

QColor readRgb(ByteReader& r) {
    auto bytes = r.bytes(3);
    return QColor(bytes[0], bytes[1], bytes[2]);
}

QColor readRgba(ByteReader& r) {
    auto bytes = r.bytes(4);
    return QColor(bytes[0], bytes[1], bytes[2], bytes[3]);
}

std::vector<uint8_t> inflateBounded(std::span<const uint8_t> compressed, size_t maxBytes) {
    std::vector<uint8_t> out;
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK) throw MalformedMovie("zlib unavailable");
    zs.next_in = const_cast<Bytef*>(compressed.data());
    zs.avail_in = uInt(std::min<size_t>(compressed.size(), UINT32_MAX));
    int status = Z_OK;
    while (status == Z_OK && out.size() < maxBytes) {
        size_t chunk = std::min<size_t>(maxBytes - out.size(), 1 << 16);
        size_t old = out.size();
        out.resize(old + chunk);
        zs.next_out = out.data() + old;
        zs.avail_out = uInt(chunk);
        status = inflate(&zs, Z_NO_FLUSH);
        out.resize(old + (chunk - zs.avail_out));
        if (status == Z_BUF_ERROR && zs.avail_in == 0) break;  // truncated: keep what came out
    }
    inflateEnd(&zs);
    if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) throw MalformedMovie("corrupt zlib data");
    return out;
}

}  // namespace detail

namespace {

using namespace detail;

std::vector<uint8_t> decompressLzma(std::span<const uint8_t> data, size_t bodySize) {
    // ZWS: compressed length (4), LZMA properties (5), raw LZMA stream. liblzma reads the
    // ".lzma" container, so the properties are given a 64-bit length to look like one.
    ByteReader r(data);
    r.u32();
    auto props = r.bytes(5);
    auto stream = r.rest();
    std::vector<uint8_t> input(props.begin(), props.end());
    for (int i = 0; i < 8; ++i) input.push_back(uint8_t(uint64_t(bodySize) >> (8 * i)));
    input.insert(input.end(), stream.begin(), stream.end());

    lzma_stream ls = LZMA_STREAM_INIT;
    if (lzma_alone_decoder(&ls, 128u << 20) != LZMA_OK) throw MalformedMovie("lzma unavailable");
    std::vector<uint8_t> out(std::min(bodySize, size_t(1) << 20));
    ls.next_in = input.data();
    ls.avail_in = input.size();
    size_t produced = 0;
    lzma_ret status = LZMA_OK;
    while (status == LZMA_OK && produced < bodySize) {
        if (produced == out.size()) out.resize(std::min(bodySize, out.size() * 2));
        ls.next_out = out.data() + produced;
        ls.avail_out = out.size() - produced;
        status = lzma_code(&ls, LZMA_FINISH);
        produced = out.size() - ls.avail_out;
    }
    lzma_end(&ls);
    if (status != LZMA_OK && status != LZMA_STREAM_END && status != LZMA_BUF_ERROR && status != LZMA_DATA_ERROR)
        throw MalformedMovie("corrupt lzma data");
    if (status == LZMA_DATA_ERROR && produced == 0) throw MalformedMovie("corrupt lzma data");
    out.resize(produced);
    return out;
}

// The onClipEvent records at the end of a PlaceObject2/3; event flags are 32 bits from SWF 6.
std::shared_ptr<const std::vector<ClipAction>> parseClipActions(ByteReader& r, int swfVersion) {
    auto flags = [&]() -> uint32_t { return swfVersion >= 6 ? r.u32() : r.u16(); };
    auto out = std::make_shared<std::vector<ClipAction>>();
    r.u16();  // reserved
    // Every event used; a record's events outside this set never fire.
    const uint32_t used = flags();
    while (!r.atEnd()) {
        ClipAction action;
        const uint32_t events = flags();
        if (events == 0) break;
        action.events = events & used;
        uint32_t size = r.u32();
        if (size > r.remaining()) throw MalformedMovie("clip action longer than its tag");
        ByteReader body(r.bytes(size));
        if ((events & clip_event::kKeyPress) && !body.atEnd()) action.keyCode = body.u8();
        action.code = keepActionCode(body.rest());
        out->push_back(std::move(action));
    }
    return out;
}

PlaceCommand parsePlaceObject(ByteReader& r, int version, int swfVersion) {
    PlaceCommand p;
    if (version == 1) {
        p.characterId = r.u16();
        p.depth = r.u16();
        p.matrix = readMatrix(r);
        if (!r.atEnd()) p.colorTransform = readColorTransform(r, false);
        return p;
    }
    uint8_t flags = r.u8();
    uint8_t flags2 = version == 3 ? r.u8() : 0;
    p.depth = r.u16();
    p.move = flags & 0x01;
    if (version == 3 && ((flags2 & 0x08) || ((flags2 & 0x10) && (flags & 0x02)))) r.cstring();  // class name
    if (flags & 0x02) p.characterId = r.u16();
    if (flags & 0x04) p.matrix = readMatrix(r);
    if (flags & 0x08) p.colorTransform = readColorTransform(r, true);
    if (flags & 0x10) p.ratio = r.u16();
    if (flags & 0x20) p.name = QString::fromStdString(r.cstring());
    if (flags & 0x40) p.clipDepth = r.u16();
    if (version == 3) {
        if (flags2 & 0x01) p.filters = readFilterList(r);
        if (flags2 & 0x02) p.blendMode = blendModeFromByte(r.u8());
        // Some writers set the flag and leave out its byte.
        if (flags2 & 0x04) p.cacheAsBitmap = r.remaining() > 0 ? r.u8() != 0 : true;
        if ((flags2 & 0x20) && r.remaining() > 0) p.visible = r.u8() != 0;
        if ((flags2 & 0x40) && r.remaining() >= 4) p.opaqueBackground = readRgba(r);
    }
    if ((flags & 0x80) && swfVersion >= 5 && r.remaining() > 0) p.clipActions = parseClipActions(r, swfVersion);
    return p;
}

ButtonDef parseButton(ByteReader& r, int version, ParseBudget& budget) {
    ButtonDef b;
    size_t actionOffsetPos = 0;
    uint16_t actionOffset = 0;
    if (version == 2) {
        b.trackAsMenu = r.u8() & 1;
        actionOffsetPos = r.position();
        actionOffset = r.u16();
    }
    for (;;) {
        uint8_t flags = r.u8();
        if (flags == 0) break;
        budget.spendCommand();
        ButtonRecord rec;
        rec.states = flags & 0x0F;
        rec.characterId = r.u16();
        rec.depth = r.u16();
        rec.matrix = readMatrix(r);
        if (version == 2) {
            rec.colorTransform = readColorTransform(r, true);
            if (flags & 0x10) rec.filters = readFilterList(r);
            if (flags & 0x20) rec.blendMode = blendModeFromByte(r.u8());
        }
        b.records.push_back(rec);
    }
    if (version == 1) {
        ActionCode code = keepActionCode(r.data().subspan(r.position()));
        b.actions.push_back({button_transition::kOverDownToOverUp, 0, parseActions(r), std::move(code)});
        return b;
    }
    if (actionOffset == 0) return b;
    size_t at = actionOffsetPos + actionOffset;
    if (at > r.data().size()) throw MalformedMovie("button actions out of range");
    ByteReader all(r.data());
    all.skip(at);
    for (;;) {
        size_t start = all.position();
        uint16_t size = all.u16();
        uint8_t high = all.u8(), low = all.u8();
        size_t end = size ? start + size : all.data().size();
        if (end > all.data().size() || end < all.position()) throw MalformedMovie("button action size");
        ByteReader body(all.data().subspan(all.position(), end - all.position()));
        budget.spendCommand();
        ActionCode code = keepActionCode(body.data());
        b.actions.push_back({uint16_t(high | (low & 1) << 8), uint8_t(low >> 1), parseActions(body), std::move(code)});
        if (size == 0) break;
        all = ByteReader(all.data());
        all.skip(end);
    }
    return b;
}

struct TagParser {
    Movie& movie;
    ParseBudget budget;
    std::vector<uint8_t> jpegTables;
    bool sawBackground = false;

    // A VideoFrame adds its data to the video character it names.
    void videoFrame(ByteReader& body) {
        uint16_t streamId = 0, number = 0;
        std::vector<uint8_t> data;
        media::parseVideoFrame(body, streamId, number, data);
        auto it = movie.dictionary.find(streamId);
        if (it == movie.dictionary.end()) return;
        if (auto* video = std::get_if<media::VideoStreamDef>(&it->second)) {
            movie.memory->charge(data.size());
            video->frames.insert_or_assign(number, std::make_shared<const std::vector<uint8_t>>(std::move(data)));
        }
    }

    void define(uint16_t id, Character character) {
        admitCharacter(movie, character);  // past the budgets the movie is refused
        movie.dictionary.insert_or_assign(id, std::move(character));
    }

    // Reads the tags of one timeline up to its End tag (or the end of the data).
    void timeline(ByteReader& r, Timeline& tl, bool isRoot, int depth) {
        Frame frame;
        bool sawEnd = false;
        for (;;) {
            if (r.remaining() < 2) break;
            uint16_t head = r.u16();
            uint16_t code = head >> 6;
            uint32_t length = head & 0x3F;
            if (length == 0x3F) length = r.u32();
            if (length > r.remaining()) throw MalformedMovie("tag longer than the file");
            ByteReader body(r.bytes(length));
            if (code == 0) {
                sawEnd = true;
                break;
            }
            budget.spendCommand();
            switch (code) {
                case 1:  // ShowFrame
                    tl.frames.push_back(std::move(frame));
                    frame = Frame{};
                    break;
                case 4: frame.commands.push_back(parsePlaceObject(body, 1, movie.version)); break;
                case 26: frame.commands.push_back(parsePlaceObject(body, 2, movie.version)); break;
                case 70: frame.commands.push_back(parsePlaceObject(body, 3, movie.version)); break;
                case 5:
                    body.u16();
                    frame.commands.push_back(RemoveCommand{body.u16()});
                    break;
                case 28: frame.commands.push_back(RemoveCommand{body.u16()}); break;
                case 12: {
                    ActionCode code = keepActionCode(body.data());
                    frame.commands.push_back(ActionCommand{parseActions(body), std::move(code)});
                    break;
                }
                case 59: {  // DoInitAction
                    InitActionCommand init;
                    init.spriteId = body.u16();
                    init.code = keepActionCode(body.rest());
                    frame.commands.push_back(std::move(init));
                    break;
                }
                case 43: {  // FrameLabel
                    QString label = QString::fromStdString(body.cstring()).toLower();
                    tl.labels.emplace(label, int(tl.frames.size()));
                    break;
                }
                case 15:
                case 89: frame.commands.push_back(media::parseStartSound(body, code == 89)); break;
                case 18:
                case 45: tl.streamHead = media::parseStreamHead(body); break;
                case 19: {
                    auto rest = body.rest();
                    frame.commands.push_back(
                        media::StreamBlockCommand{std::make_shared<const std::vector<uint8_t>>(rest.begin(), rest.end())});
                    break;
                }
                case 61: videoFrame(body); break;
                case 65:  // ScriptLimits: the recursion depth (the timeout stays ours)
                    if (isRoot) movie.maxRecursionDepth = body.u16();
                    break;
                case 9:  // SetBackgroundColor: the first one counts
                    if (isRoot && !sawBackground) {
                        movie.background = readRgb(body);
                        sawBackground = true;
                    }
                    break;
                default:
                    if (isRoot) definition(code, body, depth);
                    break;
            }
        }
        tl.complete = sawEnd && frame.commands.empty();
        if (!frame.commands.empty() || (tl.frames.empty() && isRoot)) tl.frames.push_back(std::move(frame));
    }

    void definition(uint16_t code, ByteReader& body, int depth) {
        switch (code) {
            case 2:
            case 22:
            case 32:
            case 83: {
                uint16_t id = body.u16();
                int version = code == 2 ? 1 : code == 22 ? 2 : code == 32 ? 3 : 4;
                define(id, parseShape(body, version, budget));
                break;
            }
            case 46:
            case 84: {
                uint16_t id = body.u16();
                define(id, parseMorphShape(body, code == 46 ? 1 : 2, budget));
                break;
            }
            case 8: {  // JPEGTables
                auto rest = body.rest();
                jpegTables.assign(rest.begin(), rest.end());
                break;
            }
            case 6: {
                uint16_t id = body.u16();
                define(id, decodeJpeg(jpegTables, body.rest(), {}));
                break;
            }
            case 21: {
                uint16_t id = body.u16();
                define(id, decodeJpeg({}, body.rest(), {}));
                break;
            }
            case 35:
            case 90: {
                uint16_t id = body.u16();
                uint32_t alphaOffset = body.u32();
                if (code == 90) body.u16();  // deblocking
                if (alphaOffset > body.remaining()) throw MalformedMovie("alpha offset out of range");
                auto image = body.bytes(alphaOffset);
                define(id, decodeJpeg({}, image, body.rest()));
                break;
            }
            case 20:
            case 36: {
                uint16_t id = body.u16();
                define(id, decodeLossless(body, code == 36));
                break;
            }
            case 10: {
                uint16_t id = body.u16();
                define(id, parseFont1(body, budget));
                break;
            }
            case 48:
            case 75: {
                uint16_t id = body.u16();
                define(id, parseFont23(body, code == 48 ? 2 : 3, budget));
                break;
            }
            case 13:
            case 62: {
                uint16_t id = body.u16();
                auto it = movie.dictionary.find(id);
                if (it != movie.dictionary.end())
                    if (auto* font = std::get_if<FontDef>(&it->second)) applyFontInfo(body, *font, code == 62);
                break;
            }
            case 11:
            case 33: {
                uint16_t id = body.u16();
                define(id, parseText(body, code == 33, movie));
                break;
            }
            case 37: {
                uint16_t id = body.u16();
                define(id, parseEditText(body, movie));
                break;
            }
            case 74: {  // CSMTextSettings: how a text field's glyphs are rendered
                uint16_t id = body.u16();
                auto it = movie.dictionary.find(id);
                if (it != movie.dictionary.end())
                    if (auto* field = std::get_if<EditTextDef>(&it->second)) detail::applyTextSettings(body, *field);
                break;
            }
            case 7:
            case 34: {
                uint16_t id = body.u16();
                define(id, parseButton(body, code == 7 ? 1 : 2, budget));
                break;
            }
            case 23: {  // DefineButtonCxform: one transform for every state of a DefineButton
                uint16_t id = body.u16();
                auto it = movie.dictionary.find(id);
                if (it != movie.dictionary.end())
                    if (auto* button = std::get_if<ButtonDef>(&it->second)) {
                        ColorTransform cx = readColorTransform(body, false);
                        for (auto& rec : button->records) rec.colorTransform = cx;
                    }
                break;
            }
            case 39: {
                uint16_t id = body.u16();
                body.u16();  // declared frame count; the ShowFrame tags decide
                SpriteDef sprite;
                sprite.byteLength = uint32_t(body.remaining());
                timeline(body, sprite.timeline, false, depth + 1);
                define(id, std::move(sprite));
                break;
            }
            case 56: {  // ExportAssets: names for attachMovie
                unsigned count = body.u16();
                for (unsigned i = 0; i < count && !body.atEnd(); ++i) {
                    uint16_t id = body.u16();
                    movie.exports.insert_or_assign(QString::fromUtf8(QByteArray::fromStdString(body.cstring())), id);
                }
                break;
            }
            case 14: {
                uint16_t id = 0;
                auto sound = media::parseDefineSound(body, id);
                define(id, std::move(sound));
                break;
            }
            case 17: {
                uint16_t id = 0;
                auto sounds = media::parseButtonSound(body, id);
                auto it = movie.dictionary.find(id);
                if (it != movie.dictionary.end())
                    if (auto* button = std::get_if<ButtonDef>(&it->second)) button->sounds = std::move(sounds);
                break;
            }
            case 60: {
                uint16_t id = 0;
                auto video = media::parseDefineVideoStream(body, id);
                define(id, std::move(video));
                break;
            }
            case 69:
                if (body.remaining() >= 1) movie.actionScript3 = body.u8() & 0x08;
                break;
            default: break;  // scripts, metadata and the like are skipped
        }
    }
};

}  // namespace

std::shared_ptr<const Movie> parseMovie(std::span<const uint8_t> file) {
    ByteReader header(file);
    auto sig = header.bytes(3);
    uint8_t version = header.u8();
    uint32_t declaredLength = header.u32();
    if (declaredLength < 8) throw MalformedMovie("file length too small");
    size_t bodySize = std::min<size_t>(declaredLength - 8, kMaxBodyBytes);
    std::vector<uint8_t> inflated;
    std::span<const uint8_t> body;
    if (sig[0] == 'F' && sig[1] == 'W' && sig[2] == 'S') {
        body = header.rest();
        if (body.size() > bodySize) body = body.first(bodySize);
    } else if (sig[0] == 'C' && sig[1] == 'W' && sig[2] == 'S') {
        inflated = detail::inflateBounded(header.rest(), bodySize);
        body = inflated;
    } else if (sig[0] == 'Z' && sig[1] == 'W' && sig[2] == 'S') {
        inflated = decompressLzma(header.rest(), bodySize);
        body = inflated;
    } else {
        throw MalformedMovie("not a SWF file");
    }

    auto movie = std::make_shared<Movie>();
    movie->byteLength = declaredLength;
    movie->version = version;
    ByteReader r(body);
    movie->stage = detail::readRect(r);
    movie->frameRate = r.u16() / 256.0;
    movie->declaredFrameCount = r.u16();
    if (movie->stage.width() <= 0 || movie->stage.height() <= 0) throw MalformedMovie("empty stage");
    TagParser parser{*movie, {}, {}, false};
    parser.timeline(r, movie->root, true, 0);
    return movie;
}

}  // namespace swf
