#include "Picture.h"

#include <cstdio>
#include <cstring>

extern "C" {
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

namespace playm4 {

namespace {

/* Pixels the converter may write or read past the end of a row. */
constexpr int kRowSlack = 32;

bool FullRange(const AVFrame *frame)
{
    switch (frame->format) {
    case AV_PIX_FMT_YUVJ420P:
    case AV_PIX_FMT_YUVJ422P:
    case AV_PIX_FMT_YUVJ444P:
    case AV_PIX_FMT_YUVJ440P:
        return true;
    default:
        return frame->color_range == AVCOL_RANGE_JPEG;
    }
}

/* Full-range formats under their plain names: the range is set apart. */
AVPixelFormat PlainFormat(int format)
{
    switch (format) {
    case AV_PIX_FMT_YUVJ420P: return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P: return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P: return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P: return AV_PIX_FMT_YUV440P;
    default: return AVPixelFormat(format);
    }
}

SwsContext *Scaler(SwsContext *cached, int width, int height, int from, bool fullRange, AVPixelFormat to)
{
    SwsContext *scaler = sws_getCachedContext(cached, width, height, PlainFormat(from), width, height, to,
                                              SWS_POINT, nullptr, nullptr, nullptr);
    if (!scaler)
        return nullptr;
    const bool toRgb = to == AV_PIX_FMT_BGR0 || to == AV_PIX_FMT_BGR24;
    // Setting the details rebuilds the conversion tables: only for a new
    // context or a change of range, not for every picture.
    int *inverse, *table, srcRange, dstRange, brightness, contrast, saturation;
    if (scaler == cached &&
        sws_getColorspaceDetails(scaler, &inverse, &srcRange, &table, &dstRange, &brightness, &contrast,
                                 &saturation) >= 0 &&
        srcRange == (fullRange ? 1 : 0) && dstRange == (toRgb ? 1 : 0))
        return scaler;
    const int *bt601 = sws_getCoefficients(SWS_CS_ITU601);
    sws_setColorspaceDetails(scaler, bt601, fullRange ? 1 : 0, bt601, toRgb ? 1 : 0, 0, 1 << 16, 1 << 16);
    return scaler;
}

void CopyPlane(uint8_t *to, const uint8_t *from, int fromPitch, int width, int height)
{
    for (int y = 0; y < height; ++y)
        std::memcpy(to + size_t(y) * width, from + ptrdiff_t(y) * fromPitch, size_t(width));
}

void Put16(uint8_t *p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

void Put32(uint8_t *p, uint32_t v)
{
    Put16(p, v & 0xFFFF);
    Put16(p + 2, v >> 16);
}

}  // namespace

size_t Yv12Size(int width, int height)
{
    const size_t chroma = size_t((width + 1) / 2) * size_t((height + 1) / 2);
    return size_t(width) * size_t(height) + 2 * chroma;
}

Yv12Packer::~Yv12Packer()
{
    av_frame_free(&converted_);
    sws_freeContext(scaler_);
}

const uint8_t *Yv12Packer::Pack(const AVFrame *frame, size_t *size)
{
    const int w = frame->width, h = frame->height;
    if (w <= 0 || h <= 0)
        return nullptr;
    const int cw = (w + 1) / 2, ch = (h + 1) / 2;
    const AVFrame *planar = frame;
    if (frame->format != AV_PIX_FMT_YUV420P || FullRange(frame)) {
        /* Other layouts and full range become video-range 4:2:0 first. */
        if (!converted_ && !(converted_ = av_frame_alloc()))
            return nullptr;
        if (converted_->width != w || converted_->height != h) {
            av_frame_unref(converted_);
            converted_->format = AV_PIX_FMT_YUV420P;
            converted_->width = w;
            converted_->height = h;
            if (av_frame_get_buffer(converted_, 0) < 0) {
                av_frame_unref(converted_);
                return nullptr;
            }
        }
        scaler_ = Scaler(scaler_, w, h, frame->format, FullRange(frame), AV_PIX_FMT_YUV420P);
        if (!scaler_)
            return nullptr;
        sws_scale(scaler_, frame->data, frame->linesize, 0, h, converted_->data, converted_->linesize);
        planar = converted_;
    }
    *size = Yv12Size(w, h);
    if (buffer_.size() < *size)
        buffer_.resize(*size);
    uint8_t *y = buffer_.data();
    uint8_t *v = y + size_t(w) * h;
    uint8_t *u = v + size_t(cw) * ch;
    CopyPlane(y, planar->data[0], planar->linesize[0], w, h);
    CopyPlane(u, planar->data[1], planar->linesize[1], cw, ch);
    CopyPlane(v, planar->data[2], planar->linesize[2], cw, ch);
    return buffer_.data();
}

BgrxImage::~BgrxImage()
{
    sws_freeContext(scaler_);
}

bool BgrxImage::Convert(const AVFrame *frame)
{
    const int w = frame->width, h = frame->height;
    if (w <= 0 || h <= 0)
        return false;
    scaler_ = Scaler(scaler_, w, h, frame->format, FullRange(frame), AV_PIX_FMT_BGR0);
    if (!scaler_)
        return false;
    const int bitmapWidth = (w + kRowSlack + kRowSlack - 1) / kRowSlack * kRowSlack;
    const size_t pitch = size_t(bitmapWidth) * 4;
    if (width_ != w || height_ != h) {
        pixels_.assign(pitch * h, 0);
        width_ = w;
        height_ = h;
        bitmapWidth_ = bitmapWidth;
    }
    /* Bottom-up: the first picture row is the last bitmap row. */
    uint8_t *planes[4] = {pixels_.data() + pitch * (h - 1), nullptr, nullptr, nullptr};
    int pitches[4] = {-int(pitch), 0, 0, 0};
    sws_scale(scaler_, frame->data, frame->linesize, 0, h, planes, pitches);
    return true;
}

bool WriteYv12Bitmap(const uint8_t *yv12, int width, int height, const char *path)
{
    const int cw = (width + 1) / 2, ch = (height + 1) / 2;
    /* The caller's planes are tight; the converter wants room around rows. */
    AVFrame *picture = av_frame_alloc();
    uint8_t *bgr[4] = {nullptr};
    int bgrPitch[4] = {0};
    SwsContext *scaler = nullptr;
    bool ok = false;
    FILE *f = nullptr;
    std::vector<uint8_t> row;
    const uint32_t rowBytes = (uint32_t(width) * 3 + 3) & ~3u;
    const uint32_t imageBytes = rowBytes * uint32_t(height);
    uint8_t header[54] = {};

    if (!picture)
        goto done;
    picture->format = AV_PIX_FMT_YUV420P;
    picture->width = width;
    picture->height = height;
    if (av_frame_get_buffer(picture, 0) < 0)
        goto done;
    {
        const uint8_t *y = yv12;
        const uint8_t *v = y + size_t(width) * height;
        const uint8_t *u = v + size_t(cw) * ch;
        for (int r = 0; r < height; ++r)
            std::memcpy(picture->data[0] + ptrdiff_t(r) * picture->linesize[0], y + size_t(r) * width, width);
        for (int r = 0; r < ch; ++r) {
            std::memcpy(picture->data[1] + ptrdiff_t(r) * picture->linesize[1], u + size_t(r) * cw, cw);
            std::memcpy(picture->data[2] + ptrdiff_t(r) * picture->linesize[2], v + size_t(r) * cw, cw);
        }
    }
    if (av_image_alloc(bgr, bgrPitch, width + kRowSlack, height, AV_PIX_FMT_BGR24, 64) < 0)
        goto done;
    scaler = sws_getContext(width, height, AV_PIX_FMT_YUV420P, width, height, AV_PIX_FMT_BGR24, SWS_POINT,
                            nullptr, nullptr, nullptr);
    if (!scaler)
        goto done;
    {
        const int *bt601 = sws_getCoefficients(SWS_CS_ITU601);
        sws_setColorspaceDetails(scaler, bt601, 0, bt601, 1, 0, 1 << 16, 1 << 16);
    }
    sws_scale(scaler, picture->data, picture->linesize, 0, height, bgr, bgrPitch);

    header[0] = 'B';
    header[1] = 'M';
    Put32(header + 2, 54 + imageBytes);
    Put32(header + 10, 54);
    Put32(header + 14, 40);
    Put32(header + 18, uint32_t(width));
    Put32(header + 22, uint32_t(height));  /* positive: bottom-up */
    Put16(header + 26, 1);
    Put16(header + 28, 24);
    Put32(header + 30, 0);  /* BI_RGB */
    Put32(header + 34, imageBytes);
    Put32(header + 38, 2835);  /* 72 dots per inch */
    Put32(header + 42, 2835);

    f = std::fopen(path, "wb");
    if (!f)
        goto done;
    ok = std::fwrite(header, 1, sizeof header, f) == sizeof header;
    row.assign(rowBytes, 0);
    for (int r = height - 1; ok && r >= 0; --r) {
        std::memcpy(row.data(), bgr[0] + ptrdiff_t(r) * bgrPitch[0], size_t(width) * 3);
        ok = std::fwrite(row.data(), 1, rowBytes, f) == rowBytes;
    }
    if (std::fclose(f) != 0)
        ok = false;
    if (!ok)
        std::remove(path);

done:
    sws_freeContext(scaler);
    av_freep(&bgr[0]);
    av_frame_free(&picture);
    return ok;
}

}  // namespace playm4
