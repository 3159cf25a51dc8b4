#include "control/image_file.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <strings.h>

#ifdef KOVA_HAVE_ZLIB
#include <zlib.h>
#endif

namespace kova {

namespace {

struct File {
    FILE *f;
    explicit File(const char *path) : f(fopen(path, "wb")) {}
    ~File() { if (f) fclose(f); }
};

void Put16(std::vector<BYTE> &out, unsigned v)
{
    out.push_back((BYTE)v);
    out.push_back((BYTE)(v >> 8));
}

void Put32(std::vector<BYTE> &out, unsigned long v)
{
    Put16(out, (unsigned)(v & 0xFFFF));
    Put16(out, (unsigned)(v >> 16));
}

[[maybe_unused]] void Put32BigEndian(std::vector<BYTE> &out, unsigned long v)
{
    out.push_back((BYTE)(v >> 24));
    out.push_back((BYTE)(v >> 16));
    out.push_back((BYTE)(v >> 8));
    out.push_back((BYTE)v);
}

bool Save(const std::vector<BYTE> &data, const char *path, std::string *error)
{
    File file(path);
    if (!file.f) {
        *error = std::string("cannot create the file: ") + strerror(errno);
        return false;
    }
    if (fwrite(data.data(), 1, data.size(), file.f) != data.size() || fflush(file.f) != 0) {
        *error = std::string("cannot write the file: ") + strerror(errno);
        return false;
    }
    return true;
}

// Bottom-up 24-bit BMP, rows padded to 4 bytes.
bool WriteBmp(const RgbPicture &p, const char *path, std::string *error)
{
    const size_t stride = ((size_t)p.width * 3 + 3) & ~(size_t)3;
    const size_t imageSize = stride * (size_t)p.height;
    std::vector<BYTE> out;
    out.reserve(54 + imageSize);
    out.push_back('B');
    out.push_back('M');
    Put32(out, (unsigned long)(54 + imageSize));
    Put32(out, 0);
    Put32(out, 54);
    Put32(out, 40);
    Put32(out, (unsigned long)p.width);
    Put32(out, (unsigned long)p.height);
    Put16(out, 1);
    Put16(out, 24);
    Put32(out, 0);  // BI_RGB
    Put32(out, (unsigned long)imageSize);
    Put32(out, 2835);  // 72 dpi
    Put32(out, 2835);
    Put32(out, 0);
    Put32(out, 0);
    for (int y = p.height - 1; y >= 0; --y) {
        const DWORD *row = p.pixels.data() + (size_t)y * p.width;
        for (int x = 0; x < p.width; ++x) {
            out.push_back((BYTE)row[x]);
            out.push_back((BYTE)(row[x] >> 8));
            out.push_back((BYTE)(row[x] >> 16));
        }
        for (size_t pad = (size_t)p.width * 3; pad < stride; ++pad) out.push_back(0);
    }
    return Save(out, path, error);
}

#ifdef KOVA_HAVE_ZLIB
void PutChunk(std::vector<BYTE> &out, const char *type, const std::vector<BYTE> &data)
{
    Put32BigEndian(out, (unsigned long)data.size());
    size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    uLong crc = crc32(0L, out.data() + start, (uInt)(out.size() - start));
    Put32BigEndian(out, crc);
}

// 8-bit RGB PNG, every row with filter type 0.
bool WritePng(const RgbPicture &p, const char *path, std::string *error)
{
    std::vector<BYTE> raw;
    raw.reserve(((size_t)p.width * 3 + 1) * p.height);
    for (int y = 0; y < p.height; ++y) {
        raw.push_back(0);
        const DWORD *row = p.pixels.data() + (size_t)y * p.width;
        for (int x = 0; x < p.width; ++x) {
            raw.push_back((BYTE)(row[x] >> 16));
            raw.push_back((BYTE)(row[x] >> 8));
            raw.push_back((BYTE)row[x]);
        }
    }
    uLongf packedSize = compressBound((uLong)raw.size());
    std::vector<BYTE> packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), (uLong)raw.size(), 6) != Z_OK) {
        *error = "compression failed";
        return false;
    }
    packed.resize(packedSize);

    std::vector<BYTE> out;
    static const BYTE signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    out.insert(out.end(), signature, signature + 8);
    std::vector<BYTE> header;
    Put32BigEndian(header, (unsigned long)p.width);
    Put32BigEndian(header, (unsigned long)p.height);
    header.push_back(8);  // bit depth
    header.push_back(2);  // colour type: RGB
    header.push_back(0);
    header.push_back(0);
    header.push_back(0);
    PutChunk(out, "IHDR", header);
    PutChunk(out, "IDAT", packed);
    PutChunk(out, "IEND", {});
    return Save(out, path, error);
}
#endif

}  // namespace

bool WritePicture(const RgbPicture &picture, const char *path, std::string *error)
{
    if (!path || !*path) {
        *error = "no file name";
        return false;
    }
    if (picture.width <= 0 || picture.height <= 0) {
        *error = "empty picture";
        return false;
    }
    size_t n = strlen(path);
    if (n >= 4 && strcasecmp(path + n - 4, ".png") == 0) {
#ifdef KOVA_HAVE_ZLIB
        return WritePng(picture, path, error);
#else
        *error = "PNG support was not built (zlib missing)";
        return false;
#endif
    }
    return WriteBmp(picture, path, error);
}

}  // namespace kova
