#include "color/ZR_VO_ColorConvert.h"

#include "color/ColorRows.h"

using kova::color::ActiveRows;
using kova::color::ConvertPicture;
using kova::color::Layout;

CZR_VO_ColorConvert::~CZR_VO_ColorConvert() = default;

void CZR_VO_ColorConvert::ConvertToYuy2(const uint8_t *y, int lumaPitch, const uint8_t *u,
                                        const uint8_t *v, int chromaPitch, uint8_t *dst,
                                        int dstPitch, int width, int height) const
{
    ConvertPicture(ActiveRows(), Layout::Yuy2, y, lumaPitch, u, v, chromaPitch, dst, dstPitch,
                   width, height);
}

void CZR_VO_ColorConvert::ConvertToUyvy(const uint8_t *y, int lumaPitch, const uint8_t *u,
                                        const uint8_t *v, int chromaPitch, uint8_t *dst,
                                        int dstPitch, int width, int height) const
{
    ConvertPicture(ActiveRows(), Layout::Uyvy, y, lumaPitch, u, v, chromaPitch, dst, dstPitch,
                   width, height);
}

void CZR_VO_ColorConvert::ConvertToRgb32(const uint8_t *y, int lumaPitch, const uint8_t *u,
                                         const uint8_t *v, int chromaPitch, uint8_t *dst,
                                         int dstPitch, int width, int height) const
{
    ConvertPicture(ActiveRows(), Layout::Rgb32, y, lumaPitch, u, v, chromaPitch, dst, dstPitch,
                   width, height);
}

void CZR_VO_ColorConvert::ConvertToRgb24(const uint8_t *y, int lumaPitch, const uint8_t *u,
                                         const uint8_t *v, int chromaPitch, uint8_t *dst,
                                         int dstPitch, int width, int height) const
{
    ConvertPicture(ActiveRows(), Layout::Rgb24, y, lumaPitch, u, v, chromaPitch, dst, dstPitch,
                   width, height);
}

void CZR_VO_ColorConvert::ConvertToRgb565(const uint8_t *y, int lumaPitch, const uint8_t *u,
                                          const uint8_t *v, int chromaPitch, uint8_t *dst,
                                          int dstPitch, int width, int height) const
{
    ConvertPicture(ActiveRows(), Layout::Rgb565, y, lumaPitch, u, v, chromaPitch, dst, dstPitch,
                   width, height);
}

void CZR_VO_ColorConvert::ConvertToRgb555(const uint8_t *y, int lumaPitch, const uint8_t *u,
                                          const uint8_t *v, int chromaPitch, uint8_t *dst,
                                          int dstPitch, int width, int height) const
{
    ConvertPicture(ActiveRows(), Layout::Rgb555, y, lumaPitch, u, v, chromaPitch, dst, dstPitch,
                   width, height);
}
