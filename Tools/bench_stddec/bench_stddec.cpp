// CPU cost per picture of the standard decoding path, against libavcodec
// decoding the same H.264 streams alone, in the same run.
//
//   (a) baseline: libavcodec's H.264 decoder, one thread, every packet sent
//       and every picture received, nothing else;
//   (c) the decoding library the path calls (Bravik's QXDecoder over the
//       same libavcodec), alone, with the settings and output size the
//       path gives it;
//   (b) the library: an instance (stream type 22) bound to a window of the
//       stream's size, fed the same packets through KOVA_SendVideoFrame at
//       speed 5 with the null wave sink; the packets carry no time stamp, so
//       that pacing neither waits nor drops and every picture goes on to the
//       output. Its CPU time is the whole process's: the decoding thread, the
//       presentation thread and everything the instance runs.
//
// Each contestant decodes the first two seconds unmeasured (opening,
// first-touch of buffers) and is measured in steady state over the rest, as
// a pane that plays for hours. Contestants alternate inside each round; the
// report gives each one's median time per picture and the median and best
// (fastest rounds) of (b)/(a) and (b)/(c). From (b) at 1280x720 it derives
// how many 25 fps panes one core decodes and presents in real time.
//
// Then the pacing of a B-frame stream beside the same stream without
// B-frames (PacedPlay.cpp).
//
// Usage: bench_stddec [rounds (5)] [seconds of stream (10)] [decode]
//
// "decode" measures (a) and (c) only: what decoding costs with this build's
// FFmpeg. The Windows build (run under Wine) has this part only, over the
// same streams made on the build machine, so that the two builds' FFmpeg
// (Debian's, and the one built from its source for mingw with the x86
// assembly) compare on one machine.
#include "KovaDecoder.h"
#include "../CpuTime.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "Media.h"
#include "PacedPlay.h"
#include "QXDecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace {

struct Stream {
    int width, height;
    const char *bitrate;
    std::vector<media::Bytes> packets;
};

/* Pictures decoded before the measurement starts. */
const size_t kWarmUp = 50;

std::string MakeStream(int width, int height, int seconds, const char *bitrate)
{
    // A moving test picture with some noise: the decoder has real work on
    // every block, as with a camera.
    char args[512];
    std::snprintf(args, sizeof args,
                  "-f lavfi -i testsrc2=s=%dx%d:r=25:d=%d -vf noise=alls=6:allf=t "
                  "-c:v libx264 -preset veryfast -tune zerolatency -g 50 -b:v %s -maxrate %s "
                  "-bufsize %s -pix_fmt yuv420p -f h264",
                  width, height, seconds, bitrate, bitrate, bitrate);
    char name[64];
    std::snprintf(name, sizeof name, "bench-%dx%d-%ds.h264", width, height, seconds);
    return media::Make(name, args);
}

/* (a): CPU ms per picture of decoding alone. */
double DecodeAlone(const Stream &s, int *pictures)
{
    const AVCodec *codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    AVCodecContext *context = avcodec_alloc_context3(codec);
    context->thread_count = 1;
    avcodec_open2(context, codec, nullptr);
    AVPacket *packet = av_packet_alloc();
    AVFrame *frame = av_frame_alloc();
    int got = 0, measured = 0;
    double start = CpuMs();
    for (size_t i = 0; i < s.packets.size(); ++i) {
        if (i == kWarmUp) {
            start = CpuMs();
            measured = got;
        }
        const media::Bytes &p = s.packets[i];
        av_new_packet(packet, int(p.size()));
        std::copy(p.begin(), p.end(), packet->data);
        avcodec_send_packet(context, packet);
        av_packet_unref(packet);
        while (avcodec_receive_frame(context, frame) == 0) {
            ++got;
            av_frame_unref(frame);
        }
    }
    const double spent = CpuMs() - start;
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&context);
    *pictures = got;
    return got > measured ? spent / (got - measured) : 0;
}

/* (c): CPU ms per picture of the decoding library alone, set up as the
 * path sets it up: output size the window's (mode 0) or the stream's. */
double DecodingLibraryAlone(const Stream &s, LONG displayMode)
{
    QXDecoderInitialize();
    QXDecoder decoder;
    decoder.QXDecoderSetEncodeMode(0);
    decoder.QXDecoderSetOutputMode(1);
    decoder.QXOpenDecoder(CODEC_ID_H264, _picture_param{s.width, s.height, 0});
    if (displayMode == 1)
        decoder.QXSetOutputFormat(PIX_FMT_YUV420P, 0);
    else
        decoder.QXSetOutput(_picture_param{(s.width + 15) & ~15, (s.height + 15) & ~15, 0}, 0);
    int got = 0;
    double start = CpuMs();
    for (size_t i = 0; i < s.packets.size(); ++i) {
        if (i == kWarmUp)
            start = CpuMs();
        const media::Bytes &p = s.packets[i];
        const bool decoded =
            decoder.QXDecodeVideoFrame(const_cast<unsigned char *>(p.data()), int(p.size()), 0) == 0;
        got += decoded && i >= kWarmUp;
    }
    const double spent = CpuMs() - start;
    decoder.QXClose();
    return got ? spent / got : 0;
}

HWND MakeWindow(int width, int height)
{
    static bool registered = false;
    if (!registered) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = "KovaBenchPane";
        RegisterClassA(&wc);
        registered = true;
    }
    return CreateWindowExA(0, "KovaBenchPane", "bench", WS_POPUP | WS_VISIBLE, 0, 0, width, height, nullptr,
                           nullptr, nullptr, nullptr);
}

/* (b): CPU ms per picture of the whole path in steady state. */
double WholePath(const Stream &s, LONG displayMode)
{
    HWND window = MakeWindow(s.width, s.height);
    KOVA_HANDLE h = KOVA_CreateInstance(0, 22);
    KOVA_InitPlayInstance(h, window);
    KOVA_SetDisplayMode(h, displayMode);
    KOVA_StartPlayStream(h);
    KOVA_SetSpeed(h, 5);
    // The last pictures queued are presented as they come: a short pause
    // lets them through, at no CPU cost of its own.
    const DWORD drain = 100;
    double start = 0;
    for (size_t i = 0; i < s.packets.size(); ++i) {
        if (i == kWarmUp) {
            Sleep(drain);
            start = CpuMs();
        }
        const media::Bytes &p = s.packets[i];
        KOVA_SendVideoFrame(h, p.data(), LONG(p.size()), s.width, s.height, 22, 0, 0, 0);
    }
    Sleep(drain);
    const double spent = CpuMs() - start;
    KOVA_StopPlayStream(h);
    KOVA_ReleaseInstance(h);
    DestroyWindow(window);
    return spent / double(s.packets.size() - kWarmUp);
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char **argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const int seconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;
#ifdef _WIN32
    const bool decodeOnly = true;
#else
    const bool decodeOnly = argc > 3 && std::string(argv[3]) == "decode";
    setenv("KOVA_WAVE_OUT", "null", 1);
#endif

    std::vector<Stream> streams = {{1920, 1080, "4M", {}}, {1280, 720, "2M", {}}};
    // BENCH_STDDEC_PATH=WxH: only (b) of that stream in display mode 0,
    // `rounds` times, for a profiler (Tools/bench_stddec/split.sh).
    const char *pathOnly = getenv("BENCH_STDDEC_PATH");
    for (Stream &s : streams) {
        const std::string path = MakeStream(s.width, s.height, seconds, s.bitrate);
        if (path.empty()) {
            std::fprintf(stderr, "cannot make the %dx%d stream (is ffmpeg installed?)\n", s.width, s.height);
            return 1;
        }
        s.packets = media::VideoPackets(path);
    }

    if (pathOnly) {
        for (const Stream &s : streams) {
            if (std::to_string(s.width) + "x" + std::to_string(s.height) != pathOnly)
                continue;
            for (int r = 0; r < rounds; ++r)
                std::printf("%dx%d (b) %.2f ms per picture\n", s.width, s.height, WholePath(s, 0));
        }
        return 0;
    }

    std::printf("%d rounds, %d s streams (%d pictures each, the last %d measured), CPU ms per picture\n\n",
                rounds, seconds, int(streams[0].packets.size()), int(streams[0].packets.size() - kWarmUp));
    if (decodeOnly) {
        std::printf("| stream | display mode | (a) libavcodec | (c) decoding library | (c)/(a) median |\n");
        std::printf("|---|---:|---:|---:|---:|\n");
    } else {
        std::printf("| stream | display mode | (a) libavcodec | (c) decoding library | (b) KovaDecoder "
                    "| (b)/(a) median | (b)/(a) best | (b)/(c) median | (b)/(c) best |\n");
        std::printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    }
    double pane720 = 0;
    for (const Stream &s : streams) {
        for (LONG mode : {0L, 1L}) {
            std::vector<double> alone, library, whole, overA, overC, cOverA;
            for (int r = 0; r < rounds; ++r) {
                int pictures = 0;
                const double a = DecodeAlone(s, &pictures);
                const double c = DecodingLibraryAlone(s, mode);
                cOverA.push_back(c / a);
                if (decodeOnly) {
                    alone.push_back(a);
                    library.push_back(c);
                    continue;
                }
                const double b = WholePath(s, mode);
                if (pictures != int(s.packets.size()))
                    std::fprintf(stderr, "decoded %d of %d pictures\n", pictures, int(s.packets.size()));
                alone.push_back(a);
                library.push_back(c);
                whole.push_back(b);
                overA.push_back(b / a);
                overC.push_back(b / c);
            }
            if (decodeOnly) {
                std::printf("| %dx%d | %ld | %.2f | %.2f | %.3f |\n", s.width, s.height, long(mode), Median(alone),
                            Median(library), Median(cOverA));
                std::fflush(stdout);
                continue;
            }
            auto best = [](const std::vector<double> &v) { return *std::min_element(v.begin(), v.end()); };
            std::printf("| %dx%d | %ld | %.2f | %.2f | %.2f | %.3f | %.3f | %.3f | %.3f |\n", s.width,
                        s.height, long(mode), Median(alone), Median(library), Median(whole), Median(overA),
                        best(whole) / best(alone), Median(overC), best(whole) / best(library));
            std::fflush(stdout);
            if (s.width == 1280 && mode == 0)
                pane720 = Median(whole);
        }
    }
    if (pane720 > 0)
        std::printf("\n1280x720 at 25 fps (display mode 0): %.1f ms of CPU per second of stream, "
                    "%.1f panes per core in real time\n",
                    25 * pane720, 1000.0 / (25 * pane720));
#ifndef _WIN32
    if (!decodeOnly)
        ComparePacing(rounds, seconds);
#endif
    return 0;
}
