// Video decoding through libavcodec and libswscale.
#include "swf/media/video_decode.h"

#include "swf/media/audio_decode.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <algorithm>

namespace swf::media {

namespace {

struct CodecContextFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct ScalerFree {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};

AVCodecID codecIdFor(uint8_t codec) {
    switch (VideoCodec(codec)) {
        case VideoCodec::SorensonH263: return AV_CODEC_ID_FLV1;
        case VideoCodec::ScreenVideo: return AV_CODEC_ID_FLASHSV;
        case VideoCodec::Vp6: return AV_CODEC_ID_VP6F;
        case VideoCodec::Vp6Alpha: return AV_CODEC_ID_VP6A;
        case VideoCodec::ScreenVideo2: return AV_CODEC_ID_FLASHSV2;
    }
    return AV_CODEC_ID_NONE;
}

// VP6 with alpha codes its colour already multiplied by the alpha plane, and the original
// player composites it that way (colour plus what shows through). A colour brighter than its
// alpha cannot be kept in a premultiplied picture; it is held at the alpha.
QImage premultipliedAsCoded(const QImage& decoded) {
    QImage image = decoded.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int a = qAlpha(line[x]);
            line[x] = qRgba(std::min(qRed(line[x]), a), std::min(qGreen(line[x]), a), std::min(qBlue(line[x]), a), a);
        }
    }
    image.reinterpretAsFormat(QImage::Format_ARGB32_Premultiplied);
    return image;
}

}  // namespace

struct VideoDecoder::State {
    std::unique_ptr<AVCodecContext, CodecContextFree> context;
    std::unique_ptr<AVFrame, FrameFree> frame{av_frame_alloc()};
    std::unique_ptr<AVFrame, FrameFree> incoming{av_frame_alloc()};
    std::unique_ptr<AVPacket, PacketFree> packet{av_packet_alloc()};
    std::unique_ptr<SwsContext, ScalerFree> scaler;
    int scalerWidth = 0, scalerHeight = 0, scalerFormat = -1;

    void open(const VideoStreamDef& video) {
        context.reset();
        const AVCodecID id = codecIdFor(video.codec);
        const AVCodec* codec = id == AV_CODEC_ID_NONE ? nullptr : avcodec_find_decoder(id);
        if (!codec || !frame || !incoming || !packet) return;
        context.reset(avcodec_alloc_context3(codec));
        if (!context) return;
        context->width = video.width;
        context->height = video.height;
        context->thread_count = 1;
        context->flags |= AV_CODEC_FLAG_LOW_DELAY;  // no B-frames here: each frame out as it goes in
        // The stream's flag turns the decoder's own deblocking off; the other values
        // leave it to what each frame says.
        if (video.deblocking == 1) context->skip_loop_filter = AVDISCARD_ALL;
        if (avcodec_open2(context.get(), codec, nullptr) < 0) context.reset();
    }

    // Decodes one frame's data; true with a new picture in `frame`.
    bool decode(const std::vector<uint8_t>& data) {
        if (!context || data.empty() || data.size() > (64u << 20)) return false;
        av_packet_unref(packet.get());
        if (av_new_packet(packet.get(), int(data.size())) < 0) return false;
        std::copy(data.begin(), data.end(), packet->data);
        if (avcodec_send_packet(context.get(), packet.get()) < 0) return false;
        bool got = false;
        // Receiving clears the frame it is given, so each goes into `incoming` first.
        while (avcodec_receive_frame(context.get(), incoming.get()) >= 0) {
            av_frame_unref(frame.get());
            av_frame_move_ref(frame.get(), incoming.get());
            got = true;
        }
        return got;
    }

    QImage toImage(const VideoStreamDef& video) {
        const int w = frame->width, h = frame->height;
        if (w <= 0 || h <= 0 || w > 8192 || h > 8192) return {};
        const bool alpha = frame->format == AV_PIX_FMT_YUVA420P;
        if (!scaler || scalerWidth != w || scalerHeight != h || scalerFormat != frame->format) {
            scaler.reset(sws_getContext(w, h, AVPixelFormat(frame->format), w, h, AV_PIX_FMT_BGRA, SWS_POINT, nullptr,
                                        nullptr, nullptr));
            scalerWidth = w, scalerHeight = h, scalerFormat = frame->format;
        }
        if (!scaler) return {};
        // libswscale may write past the end of a row with its vector code: it gets rows of
        // its own, aligned and padded, and the picture is copied out of them.
        const int stride = (w * 4 + 63) / 64 * 64;
        std::vector<uint8_t> pixels(size_t(stride) * size_t(h + 1) + 64);
        uint8_t* dst[4] = {pixels.data(), nullptr, nullptr, nullptr};
        int strides[4] = {stride, 0, 0, 0};
        sws_scale(scaler.get(), frame->data, frame->linesize, 0, h, dst, strides);
        QImage image = QImage(pixels.data(), w, h, stride, QImage::Format_ARGB32).copy();
        if (image.isNull()) return {};
        if (!alpha) image = image.convertToFormat(QImage::Format_RGB32);
        else image = premultipliedAsCoded(image);
        // Coded sizes round up to whole blocks; the stream's size is what shows.
        const int showW = video.width > 0 ? std::min<int>(video.width, w) : w;
        const int showH = video.height > 0 ? std::min<int>(video.height, h) : h;
        if (showW != w || showH != h) image = image.copy(0, 0, showW, showH);
        return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
};

VideoDecoder::VideoDecoder(const VideoStreamDef& video) : state_(std::make_unique<State>()) {
    quietDecoderLogs();
    state_->open(video);
}

VideoDecoder::~VideoDecoder() = default;

const QImage& VideoDecoder::frameAt(const VideoStreamDef& video, int frame) {
    if (frame == shown_ || video.frames.empty()) return picture_;
    int from = shown_ + 1;
    if (frame < shown_ || frame - shown_ > kMaxFramesPerSeek) {
        // Back, or far ahead: start again from the first frame at or before a bounded reach.
        state_->open(video);
        from = std::max(0, frame - kMaxFramesPerSeek);
    }
    bool decoded = false;
    for (auto it = video.frames.lower_bound(uint16_t(std::max(0, from)));
         it != video.frames.end() && it->first <= frame; ++it) {
        if (it->second && state_->decode(*it->second)) decoded = true;
    }
    if (decoded) {
        QImage image = state_->toImage(video);
        if (!image.isNull()) picture_ = std::move(image);
    }
    shown_ = frame;
    return picture_;
}

}  // namespace swf::media
