#pragma once
// swfmedia: the sound and video of SWF movies.
//   media_tags.h   - sound and video as the file stores them
//   media_parse.h  - readers of the sound and video tags
//   audio_decode.h - sound decoding to the mixer's 44,100 Hz stereo 16-bit
//   video_decode.h - video frames to pictures
//   mixer.h        - the one mixer of the process, its output and WAV capture
//   movie_sound.h  - the sound of one player: event, button and stream sounds
//   mp3_file.h     - MP3 files (Sound.loadSound): frames and ID3v2 text
// Decoding goes through FFmpeg's libavcodec (with libswresample and libswscale): the
// formats (MP3, the SWF flavour of ADPCM, Nellymoser, Sorenson H.263, VP6, Screen Video)
// are involved and hostile input is the normal case, so a decoder that is widely used and
// fuzzed beats one of our own. Output goes through Qt Multimedia's QAudioSink.
// Known gap: the alpha of VP6 with alpha does not yet line up with the original player's.
#include "swf/media/audio_decode.h"
#include "swf/media/media_parse.h"
#include "swf/media/media_tags.h"
#include "swf/media/mixer.h"
#include "swf/media/movie_sound.h"
#include "swf/media/mp3_file.h"
#include "swf/media/video_decode.h"
