#include "StreamChoice.h"

namespace kovaplay {

StreamChoice ChooseStream(const MediaInfo &info, int overrideType)
{
    StreamChoice c;
    if (info.vendor) {
        c.streamType = kVendorStreamType;
    } else {
        const bool mu = info.audio == AudioCodec::G711MuLaw, a = info.audio == AudioCodec::G711ALaw;
        switch (info.video) {
        case VideoCodec::H264: c.streamType = mu ? 100 : a ? 16 : 98; break;
        case VideoCodec::Mpeg4: c.streamType = mu ? 96 : 2; break;
        case VideoCodec::Mjpeg: c.streamType = a ? 104 : 192; break;
        case VideoCodec::None: c.streamType = 98; break;
        }
        if (info.audio != AudioCodec::None && info.sampleRate > 0) {
            c.setAudio = true;
            // Audio type codes of the sound parameters: 2 mu-law, 3 A-law, 17 G.726.
            c.audioType = mu ? 2 : a ? 3 : 17;
            c.sampleRate = info.sampleRate;
            c.channels = info.channels > 0 ? info.channels : 1;
            c.bitRate = info.audio == AudioCodec::G726 ? info.audioBitRate : 0;
            c.bitsPerSample = 16;  // what the decoder hands the wave output
        }
    }
    if (overrideType > 0) c.streamType = overrideType;
    return c;
}

}  // namespace kovaplay
