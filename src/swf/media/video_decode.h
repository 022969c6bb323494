#pragma once
// Video decoding with libavcodec: Sorenson H.263, Screen Video 1 and 2, VP6 and VP6 with
// alpha. One decoder per placed video; frames come out as premultiplied ARGB pictures of
// the stream's declared size.
#include <QImage>
#include <memory>

#include "swf/media/media_tags.h"

namespace swf::media {

class VideoDecoder {
public:
    explicit VideoDecoder(const VideoStreamDef& video);
    ~VideoDecoder();
    VideoDecoder(const VideoDecoder&) = delete;
    VideoDecoder& operator=(const VideoDecoder&) = delete;

    // The picture of frame `frame` (0-based). Going forward decodes the frames between;
    // going back starts again from the first frame. A frame that does not decode leaves the
    // last good picture; before any, the picture is null.
    const QImage& frameAt(const VideoStreamDef& video, int frame);

private:
    struct State;
    std::unique_ptr<State> state_;
    QImage picture_;
    int shown_ = -1;
};

// Most frames decoded for one step back in a video; further back shows the last picture.
inline constexpr int kMaxFramesPerSeek = 2000;

}  // namespace swf::media
