/* What a client tells the library about a recording: the stream type that
 * picks the decoder and codecs, and the sound parameters for the standard
 * decoder. */
#ifndef KOVA_PLAY_STREAM_CHOICE_H
#define KOVA_PLAY_STREAM_CHOICE_H

#include "MediaSource.h"

namespace kovaplay {

constexpr int kVendorStreamType = 102;

struct StreamChoice {
    int streamType = 0;
    /* KOVA_SetAudioParam arguments; given when `setAudio`. */
    bool setAudio = false;
    int audioType = 0, sampleRate = 0, channels = 0, bitRate = 0, bitsPerSample = 0;
};

/* Vendor files play as 102. Standard files get the type whose codecs match
 * theirs: H.264 alone 98, with mu-law 100, with A-law 16; MPEG-4 part 2
 * alone 2, with mu-law 96; Motion JPEG alone 192, with A-law 104. Sound the
 * type has no codec for (G.726, or G.711 of the other law) keeps the
 * video-only type, whose table entry leaves the sound parameters given by
 * KOVA_SetAudioParam in place. `overrideType` above 0 replaces the type. */
StreamChoice ChooseStream(const MediaInfo &info, int overrideType = 0);

}  // namespace kovaplay

#endif
