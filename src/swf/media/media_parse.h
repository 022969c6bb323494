#pragma once
// Readers of the sound and video tags. Each takes the body of one tag; a field that runs
// past the end of the body throws MalformedMovie (from ByteReader).
#include "swf/byte_reader.h"
#include "swf/media/media_tags.h"

namespace swf::media {

// Bounds on what one movie may make the media code hold.
inline constexpr uint32_t kMaxEnvelopePoints = 64;
inline constexpr uint16_t kMaxVideoSide = 4096;

SoundDef parseDefineSound(ByteReader& body, uint16_t& id);
StartSoundCommand parseStartSound(ByteReader& body, bool byClassName);
SoundInfo parseSoundInfo(ByteReader& body);
// DefineButtonSound: the button's id and its four sounds.
ButtonSounds parseButtonSound(ByteReader& body, uint16_t& buttonId);
StreamHead parseStreamHead(ByteReader& body);
VideoStreamDef parseDefineVideoStream(ByteReader& body, uint16_t& id);
// VideoFrame: the stream it belongs to, its frame number and its data.
void parseVideoFrame(ByteReader& body, uint16_t& streamId, uint16_t& frame, std::vector<uint8_t>& data);

}  // namespace swf::media
