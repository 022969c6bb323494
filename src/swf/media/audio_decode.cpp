// Sound decoding through libavcodec and libswresample.
#include "swf/media/audio_decode.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cmath>

namespace swf::media {

namespace {

struct CodecContextFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct ParserFree {
    void operator()(AVCodecParserContext* p) const { av_parser_close(p); }
};
struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct ResamplerFree {
    void operator()(SwrContext* s) const { swr_free(&s); }
};

AVCodecID codecIdFor(const SoundFormat& f) {
    switch (f.codec) {
        case SoundCodec::PcmNativeEndian:
        case SoundCodec::PcmLittleEndian: return f.sixteenBit ? AV_CODEC_ID_PCM_S16LE : AV_CODEC_ID_PCM_U8;
        case SoundCodec::Adpcm: return AV_CODEC_ID_ADPCM_SWF;
        case SoundCodec::Mp3: return AV_CODEC_ID_MP3;
        case SoundCodec::Nellymoser16k:
        case SoundCodec::Nellymoser8k:
        case SoundCodec::Nellymoser: return AV_CODEC_ID_NELLYMOSER;
        default: return AV_CODEC_ID_NONE;  // Speex and unknown codes play as silence
    }
}

int16_t toInt16(float v) { return int16_t(std::lrint(std::clamp(v * 32768.0f, -32768.0f, 32767.0f))); }

// One decoder with its resampler; feeds packets and appends mixer frames to a buffer.
class Decoder {
public:
    explicit Decoder(const SoundFormat& format) : format_(format) {
        quietDecoderLogs();
        const AVCodecID id = codecIdFor(format);
        const AVCodec* codec = id == AV_CODEC_ID_NONE ? nullptr : avcodec_find_decoder(id);
        if (!codec) return;
        context_.reset(avcodec_alloc_context3(codec));
        if (!context_) return;
        context_->sample_rate = format.rate;
        av_channel_layout_default(&context_->ch_layout, format.stereo && id != AV_CODEC_ID_NELLYMOSER ? 2 : 1);
        if (avcodec_open2(context_.get(), codec, nullptr) < 0) {
            context_.reset();
            return;
        }
        if (id == AV_CODEC_ID_MP3) parser_.reset(av_parser_init(AV_CODEC_ID_MP3));
        frame_.reset(av_frame_alloc());
        packet_.reset(av_packet_alloc());
        if (!frame_ || !packet_) context_.reset();
    }

    bool usable() const { return context_ != nullptr; }

    // Decodes `data` as the next part of the sound, appending at most up to `maxFrames`
    // frames in `out` in total.
    void feed(std::span<const uint8_t> data, PcmFrames& out, size_t maxFrames) {
        if (!usable()) return;
        maxFrames_ = maxFrames;
        if (parser_) {
            while (!data.empty() && !full(out)) {
                uint8_t* packet = nullptr;
                int packetSize = 0;
                int used = av_parser_parse2(parser_.get(), context_.get(), &packet, &packetSize, data.data(),
                                            int(std::min<size_t>(data.size(), 1 << 20)), AV_NOPTS_VALUE,
                                            AV_NOPTS_VALUE, 0);
                if (used < 0) return;
                data = data.subspan(size_t(used));
                if (packetSize > 0) send(packet, packetSize, out);
                if (used == 0 && packetSize == 0) break;
            }
            return;
        }
        // Whole units per packet: one sample of every channel for PCM, 64-byte blocks for
        // Nellymoser. SWF ADPCM is bit-packed across its blocks and goes in whole.
        size_t unit = 0;
        switch (context_->codec_id) {
            case AV_CODEC_ID_PCM_S16LE: unit = size_t(2 * context_->ch_layout.nb_channels) * 4096; break;
            case AV_CODEC_ID_PCM_U8: unit = size_t(context_->ch_layout.nb_channels) * 4096; break;
            case AV_CODEC_ID_NELLYMOSER: unit = 64 * 64; break;
            default: unit = data.size(); break;
        }
        while (!data.empty() && !full(out)) {
            size_t n = std::min(unit, data.size());
            send(data.data(), int(n), out);
            data = data.subspan(n);
        }
    }

    // Drains what the decoder and resampler still hold.
    void finish(PcmFrames& out) {
        if (!usable()) return;
        if (parser_) {
            uint8_t* packet = nullptr;
            int packetSize = 0;
            av_parser_parse2(parser_.get(), context_.get(), &packet, &packetSize, nullptr, 0, AV_NOPTS_VALUE,
                             AV_NOPTS_VALUE, 0);
            if (packetSize > 0) send(packet, packetSize, out);
        }
        if (avcodec_send_packet(context_.get(), nullptr) >= 0) receive(out);
        if (resampler_) {
            int pending = int(swr_get_out_samples(resampler_.get(), 0));
            if (pending > 0) resampleInto(nullptr, 0, pending, out);
        }
    }

    // Drops the first `frames` mixer frames that come out from here on.
    void dropLeading(size_t frames) { toDrop_ = frames; }

private:
    bool full(const PcmFrames& out) const { return out.size() / 2 >= maxFrames_; }

    void send(const uint8_t* data, int size, PcmFrames& out) {
        if (size <= 0) return;
        av_packet_unref(packet_.get());
        if (av_new_packet(packet_.get(), size) < 0) return;
        std::copy_n(data, size, packet_->data);
        // A packet the decoder refuses (a corrupt MP3 frame) is dropped: silence, not an end.
        if (avcodec_send_packet(context_.get(), packet_.get()) < 0) return;
        receive(out);
    }

    void receive(PcmFrames& out) {
        while (avcodec_receive_frame(context_.get(), frame_.get()) >= 0) {
            append(*frame_, out);
            av_frame_unref(frame_.get());
        }
    }

    void append(const AVFrame& frame, PcmFrames& out) {
        const int channels = frame.ch_layout.nb_channels;
        if (channels < 1 || channels > 2 || frame.nb_samples <= 0) return;
        if (frame.sample_rate == kMixRate) {
            const auto fmt = AVSampleFormat(frame.format);
            const bool planar = av_sample_fmt_is_planar(fmt);
            const auto packed = av_get_packed_sample_fmt(fmt);
            if (packed != AV_SAMPLE_FMT_S16 && packed != AV_SAMPLE_FMT_FLT) return;
            for (int i = 0; i < frame.nb_samples; ++i) {
                int16_t lr[2];
                for (int c = 0; c < channels; ++c) {
                    const uint8_t* plane = frame.extended_data[planar ? c : 0];
                    const int index = planar ? i : i * channels + c;
                    lr[c] = packed == AV_SAMPLE_FMT_S16 ? reinterpret_cast<const int16_t*>(plane)[index]
                                                        : toInt16(reinterpret_cast<const float*>(plane)[index]);
                }
                if (channels == 1) lr[1] = lr[0];
                push(lr[0], lr[1], out);
            }
            return;
        }
        if (!resampler_ || resamplerRate_ != frame.sample_rate || resamplerChannels_ != channels ||
            resamplerFormat_ != frame.format) {
            // Channels stay as they are (a mono sound is copied to both sides after), only
            // the rate and the sample format change.
            SwrContext* swr = nullptr;
            AVChannelLayout layout{};
            av_channel_layout_default(&layout, channels);
            if (swr_alloc_set_opts2(&swr, &layout, AV_SAMPLE_FMT_S16, kMixRate, &layout,
                                    AVSampleFormat(frame.format), frame.sample_rate, 0, nullptr) < 0 ||
                swr_init(swr) < 0) {
                swr_free(&swr);
                return;
            }
            resampler_.reset(swr);
            resamplerRate_ = frame.sample_rate;
            resamplerChannels_ = channels;
            resamplerFormat_ = frame.format;
        }
        const int room = int(swr_get_out_samples(resampler_.get(), frame.nb_samples));
        resampleInto(const_cast<const uint8_t**>(frame.extended_data), frame.nb_samples, room, out);
    }

    void resampleInto(const uint8_t** in, int inCount, int room, PcmFrames& out) {
        if (room <= 0) return;
        std::vector<int16_t> buffer(size_t(room) * size_t(resamplerChannels_));
        uint8_t* dst = reinterpret_cast<uint8_t*>(buffer.data());
        const int made = swr_convert(resampler_.get(), &dst, room, in, inCount);
        for (int i = 0; i < made; ++i) {
            int16_t l = buffer[size_t(i * resamplerChannels_)];
            int16_t r = resamplerChannels_ == 2 ? buffer[size_t(i * 2 + 1)] : l;
            push(l, r, out);
        }
    }

    void push(int16_t left, int16_t right, PcmFrames& out) {
        if (toDrop_ > 0) {
            --toDrop_;
            return;
        }
        if (full(out)) return;
        out.push_back(left);
        out.push_back(right);
    }

    SoundFormat format_;
    std::unique_ptr<AVCodecContext, CodecContextFree> context_;
    std::unique_ptr<AVCodecParserContext, ParserFree> parser_;
    std::unique_ptr<AVFrame, FrameFree> frame_;
    std::unique_ptr<AVPacket, PacketFree> packet_;
    std::unique_ptr<SwrContext, ResamplerFree> resampler_;
    int resamplerRate_ = 0, resamplerChannels_ = 0, resamplerFormat_ = -1;
    size_t maxFrames_ = 0;
    size_t toDrop_ = 0;
};

size_t atMixRate(int64_t samples, int rate) {
    if (rate <= 0 || samples <= 0) return 0;
    return size_t((samples * kMixRate + rate - 1) / rate);
}

// SWF ADPCM packs its blocks by bits, so it goes to the decoder in one piece; past this it
// is cut (about 25 minutes of stereo at 44 kHz with 5-bit codes).
constexpr size_t kMaxAdpcmBytes = 16u << 20;

}  // namespace

void quietDecoderLogs() {
    static const bool done = [] {
        av_log_set_level(AV_LOG_QUIET);
        return true;
    }();
    (void)done;
}

PcmFrames decodeSound(const SoundDef& sound, size_t maxFrames) {
    PcmFrames out;
    Decoder decoder(sound.format);
    if (!decoder.usable()) return out;
    // The stored sample count is the sound's length: MP3 padding at the end is not part of it.
    size_t limit = std::min(maxFrames, atMixRate(sound.sampleCount, sound.format.rate));
    if (sound.format.codec == SoundCodec::Mp3) decoder.dropLeading(atMixRate(std::max(0, sound.seekSamples), sound.format.rate));
    std::span<const uint8_t> data = sound.data;
    if (sound.format.codec == SoundCodec::Adpcm && data.size() > kMaxAdpcmBytes) data = data.first(kMaxAdpcmBytes);
    out.reserve(std::min(limit, size_t(1) << 22) * 2);
    decoder.feed(data, out, limit);
    decoder.finish(out);
    if (out.size() > limit * 2) out.resize(limit * 2);
    return out;
}

struct StreamDecoder::State {
    explicit State(const SoundFormat& format) : decoder(format) {}
    Decoder decoder;
};

StreamDecoder::StreamDecoder(const StreamHead& head) : head_(head), state_(std::make_unique<State>(head.format)) {
    if (head.format.codec == SoundCodec::Mp3)
        state_->decoder.dropLeading(atMixRate(std::max(0, head.latencySeek), head.format.rate));
}

StreamDecoder::~StreamDecoder() = default;

void StreamDecoder::reset() {
    state_ = std::make_unique<State>(head_.format);
}

void StreamDecoder::decodeBlock(std::span<const uint8_t> block, PcmFrames& out) {
    if (head_.format.codec == SoundCodec::Mp3) {
        if (block.size() < 4) return;
        block = block.subspan(4);  // sample count and seek samples of the block
    }
    // A block never decodes to more than a few seconds.
    const size_t limit = out.size() / 2 + size_t(kMixRate) * 8;
    state_->decoder.feed(block, out, limit);
}

}  // namespace swf::media
