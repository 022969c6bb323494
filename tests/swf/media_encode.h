#pragma once
// Test data made at test time with libavcodec's encoders: MP3 (through LAME), SWF ADPCM
// and Sorenson H.263, so the tests compare our output with an independent source.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
}

#include <QByteArray>
#include <QImage>
#include <cmath>
#include <cstdint>
#include <vector>

namespace swf::test {

// A stereo test signal: two tones, a different one on each side, with a slow sweep.
inline std::vector<int16_t> testSignal(size_t frames, int rate = 44100) {
    std::vector<int16_t> out(frames * 2);
    for (size_t i = 0; i < frames; ++i) {
        const double t = double(i) / rate;
        out[i * 2] = int16_t(9000 * std::sin(2 * M_PI * (330 + 200 * t) * t));
        out[i * 2 + 1] = int16_t(7000 * std::sin(2 * M_PI * 523 * t) + 2000 * std::sin(2 * M_PI * 97 * t));
    }
    return out;
}

inline QByteArray pcmBytes(const std::vector<int16_t>& samples) {
    QByteArray out;
    for (int16_t s : samples) {
        out.append(char(uint16_t(s) & 0xFF));
        out.append(char(uint16_t(s) >> 8));
    }
    return out;
}

struct Encoded {
    QByteArray data;
    int initialPadding = 0;
    std::vector<QByteArray> packets;
};

// Encodes interleaved stereo 16-bit samples (the left side alone when `channels` is 1);
// empty when the encoder is missing.
inline Encoded encodeAudio(AVCodecID id, const std::vector<int16_t>& samples, int rate = 44100, int channels = 2) {
    Encoded result;
    const AVCodec* codec = id == AV_CODEC_ID_MP3 ? avcodec_find_encoder_by_name("libmp3lame") : avcodec_find_encoder(id);
    if (!codec) return result;
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    ctx->sample_rate = rate;
    av_channel_layout_default(&ctx->ch_layout, channels);
    ctx->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
    ctx->bit_rate = id == AV_CODEC_ID_MP3 ? 192000 : 0;
    if (avcodec_open2(ctx, codec, nullptr) < 0) {
        avcodec_free_context(&ctx);
        return result;
    }
    result.initialPadding = ctx->initial_padding;
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    const size_t total = samples.size() / 2;
    const int frameSize = ctx->frame_size > 0 ? ctx->frame_size : 4096;
    auto drain = [&] {
        while (avcodec_receive_packet(ctx, packet) >= 0) {
            result.packets.emplace_back(reinterpret_cast<const char*>(packet->data), packet->size);
            result.data.append(result.packets.back());
            av_packet_unref(packet);
        }
    };
    for (size_t at = 0; at < total; at += size_t(frameSize)) {
        const int n = int(std::min<size_t>(size_t(frameSize), total - at));
        frame->nb_samples = (ctx->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) ? n : frameSize;
        frame->format = ctx->sample_fmt;
        av_channel_layout_copy(&frame->ch_layout, &ctx->ch_layout);
        frame->sample_rate = rate;
        av_frame_get_buffer(frame, 0);
        for (int i = 0; i < frame->nb_samples; ++i)
            for (int c = 0; c < channels; ++c) {
                const int16_t v = i < n ? samples[(at + size_t(i)) * 2 + size_t(c)] : 0;
                switch (ctx->sample_fmt) {
                    case AV_SAMPLE_FMT_S16: reinterpret_cast<int16_t*>(frame->data[0])[i * channels + c] = v; break;
                    case AV_SAMPLE_FMT_S16P: reinterpret_cast<int16_t*>(frame->data[c])[i] = v; break;
                    case AV_SAMPLE_FMT_FLTP: reinterpret_cast<float*>(frame->data[c])[i] = v / 32768.0f; break;
                    case AV_SAMPLE_FMT_FLT: reinterpret_cast<float*>(frame->data[0])[i * channels + c] = v / 32768.0f; break;
                    case AV_SAMPLE_FMT_S32P: reinterpret_cast<int32_t*>(frame->data[c])[i] = v << 16; break;
                    default: break;
                }
            }
        avcodec_send_frame(ctx, frame);
        av_frame_unref(frame);
        drain();
    }
    avcodec_send_frame(ctx, nullptr);
    drain();
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&ctx);
    return result;
}

// Decodes one packet with libavcodec to interleaved stereo 16-bit (the source the tests
// compare with for ADPCM).
inline std::vector<int16_t> decodeAudioPacket(AVCodecID id, const QByteArray& data, int rate, int channels) {
    std::vector<int16_t> out;
    const AVCodec* codec = avcodec_find_decoder(id);
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    ctx->sample_rate = rate;
    av_channel_layout_default(&ctx->ch_layout, channels);
    if (avcodec_open2(ctx, codec, nullptr) < 0) return out;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    av_new_packet(packet, int(data.size()));
    std::copy(data.begin(), data.end(), packet->data);
    avcodec_send_packet(ctx, packet);
    while (avcodec_receive_frame(ctx, frame) >= 0) {
        const bool planar = av_sample_fmt_is_planar(AVSampleFormat(frame->format));
        for (int i = 0; i < frame->nb_samples; ++i)
            for (int c = 0; c < 2; ++c) {
                const int src = std::min(c, channels - 1);
                out.push_back(planar ? reinterpret_cast<int16_t*>(frame->data[src])[i]
                                     : reinterpret_cast<int16_t*>(frame->data[0])[i * channels + src]);
            }
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&ctx);
    return out;
}

// Encodes pictures as Sorenson H.263 frames (the first a key frame).
inline std::vector<QByteArray> encodeH263(const std::vector<QImage>& pictures) {
    std::vector<QByteArray> out;
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_FLV1);
    if (!codec || pictures.empty()) return out;
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    ctx->width = pictures[0].width();
    ctx->height = pictures[0].height();
    ctx->pix_fmt = AV_PIX_FMT_YUV420P;
    ctx->time_base = {1, 10};
    ctx->gop_size = 10;
    ctx->flags |= AV_CODEC_FLAG_QSCALE;
    ctx->global_quality = FF_QP2LAMBDA * 2;
    if (avcodec_open2(ctx, codec, nullptr) < 0) return out;
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    int64_t pts = 0;
    for (const QImage& picture : pictures) {
        frame->format = ctx->pix_fmt;
        frame->width = ctx->width;
        frame->height = ctx->height;
        av_frame_get_buffer(frame, 0);
        frame->quality = ctx->global_quality;
        const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
        for (int y = 0; y < ctx->height; ++y)
            for (int x = 0; x < ctx->width; ++x) {
                const QRgb p = rgb.pixel(x, y);
                const double r = qRed(p), g = qGreen(p), b = qBlue(p);
                frame->data[0][y * frame->linesize[0] + x] = uint8_t(std::lround(16 + 0.257 * r + 0.504 * g + 0.098 * b));
                if (x % 2 == 0 && y % 2 == 0) {
                    frame->data[1][y / 2 * frame->linesize[1] + x / 2] = uint8_t(std::lround(128 - 0.148 * r - 0.291 * g + 0.439 * b));
                    frame->data[2][y / 2 * frame->linesize[2] + x / 2] = uint8_t(std::lround(128 + 0.439 * r - 0.368 * g - 0.071 * b));
                }
            }
        frame->pts = pts++;
        avcodec_send_frame(ctx, frame);
        av_frame_unref(frame);
        while (avcodec_receive_packet(ctx, packet) >= 0) {
            out.emplace_back(reinterpret_cast<const char*>(packet->data), packet->size);
            av_packet_unref(packet);
        }
    }
    avcodec_send_frame(ctx, nullptr);
    while (avcodec_receive_packet(ctx, packet) >= 0) {
        out.emplace_back(reinterpret_cast<const char*>(packet->data), packet->size);
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&ctx);
    return out;
}

}  // namespace swf::test
