/* kova-vendor-sample FILE: writes a vendor-stream sample, the 40-byte stream
 * header and then an MPEG program stream with H.264 pictures (four coloured
 * quadrants, a black square crossing the bottom) and G.711 A-law sound, with
 * the tests' own sample maker. */
#include <cstdio>
#include <string>

#include "VendorSample.h"

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: kova-vendor-sample FILE\n");
        return 1;
    }
    vendor_sample::Options options;
    options.width = 352;
    options.height = 288;
    options.seconds = 6;
    options.movingSquare = true;
    vendor_sample::Sample sample;
    std::string why;
    if (!vendor_sample::Make(options, &sample, &why)) {
        std::fprintf(stderr, "kova-vendor-sample: %s\n", why.c_str());
        return 1;
    }
    const vendor_sample::Bytes bytes = sample.Joined();
    const std::string partial = std::string(argv[1]) + ".partial";
    std::FILE *f = std::fopen(partial.c_str(), "wb");
    const bool written = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (f && std::fclose(f) != 0) return 1;
    if (!written || std::rename(partial.c_str(), argv[1]) != 0) {
        std::remove(partial.c_str());
        std::fprintf(stderr, "kova-vendor-sample: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
