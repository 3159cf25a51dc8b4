/* Screenshot of the platform layer's X11 viewer: places every viewer window
 * ("Kova \\.\DISPLAYn WxHxD @X,Y") where its monitor lies on the virtual
 * desktop, grabs the X screen into an image file (PNG for a name ending in
 * ".png" where libpng is at hand, else 24-bit BMP) and counts the pixels of
 * the output host's four picture colours.
 *
 *   x11_screenshot OUTPUT
 *
 * Exit status 0 when red, green, blue and white each cover at least 1000
 * pixels of the screenshot. */
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#ifdef KOVA_HAVE_PNG
#include <png.h>
#endif

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

struct Viewer {
    Window window;
    long x, y;
};

void Put32(std::vector<uint8_t> &out, uint32_t v)
{
    for (int i = 0; i < 4; ++i) out.push_back((uint8_t)(v >> (8 * i)));
}

#ifdef KOVA_HAVE_PNG
bool WritePng(const char *path, XImage *image, int width, int height)
{
    std::vector<uint8_t> rgb((size_t)width * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const unsigned long p = XGetPixel(image, x, y);
            uint8_t *out = &rgb[((size_t)y * width + x) * 3];
            out[0] = (uint8_t)((p >> 16) & 0xFF);
            out[1] = (uint8_t)((p >> 8) & 0xFF);
            out[2] = (uint8_t)(p & 0xFF);
        }
    png_image png;
    memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = (png_uint_32)width;
    png.height = (png_uint_32)height;
    png.format = PNG_FORMAT_RGB;
    return png_image_write_to_file(&png, path, 0, rgb.data(), width * 3, NULL) != 0;
}
#endif

bool WriteBmp(const char *path, XImage *image, int width, int height)
{
    const int stride = (width * 3 + 3) & ~3;
    std::vector<uint8_t> file = {'B', 'M'};
    Put32(file, (uint32_t)(54 + stride * height));
    Put32(file, 0);
    Put32(file, 54);
    Put32(file, 40);
    Put32(file, (uint32_t)width);
    Put32(file, (uint32_t)height);
    Put32(file, 1 | (24u << 16));
    for (int i = 0; i < 6; ++i) Put32(file, 0);
    for (int r = height - 1; r >= 0; --r) {
        const size_t start = file.size();
        for (int x = 0; x < width; ++x) {
            const unsigned long p = XGetPixel(image, x, r);
            file.push_back((uint8_t)(p & 0xFF));
            file.push_back((uint8_t)((p >> 8) & 0xFF));
            file.push_back((uint8_t)((p >> 16) & 0xFF));
        }
        file.resize(start + stride, 0);
    }
    FILE *f = fopen(path, "wb");
    if (!f) return false;
    const bool ok = fwrite(file.data(), 1, file.size(), f) == file.size();
    return fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: x11_screenshot OUTPUT\n");
        return 2;
    }
    Display *display = XOpenDisplay(NULL);
    if (!display) {
        fprintf(stderr, "no X display\n");
        return 1;
    }
    const Window root = DefaultRootWindow(display);
    Window rootReturn, parent, *children = NULL;
    unsigned count = 0;
    XQueryTree(display, root, &rootReturn, &parent, &children, &count);
    std::vector<Viewer> viewers;
    long minX = 0, minY = 0;
    for (unsigned i = 0; i < count; ++i) {
        char *name = NULL;
        if (!XFetchName(display, children[i], &name) || !name) continue;
        const std::string title = name;
        XFree(name);
        const size_t at = title.rfind('@');
        if (title.compare(0, 5, "Kova ") != 0 || at == std::string::npos) continue;
        Viewer v = {children[i], 0, 0};
        if (sscanf(title.c_str() + at, "@%ld,%ld", &v.x, &v.y) != 2) continue;
        if (viewers.empty() || v.x < minX) minX = v.x;
        if (viewers.empty() || v.y < minY) minY = v.y;
        viewers.push_back(v);
        printf("viewer window: %s\n", title.c_str());
    }
    if (children) XFree(children);
    if (viewers.empty()) {
        fprintf(stderr, "no viewer windows on the X screen\n");
        return 1;
    }
    // Laid out as the monitors lie; the viewer repaints on the exposure.
    for (const Viewer &v : viewers) XMoveWindow(display, v.window, (int)(v.x - minX), (int)(v.y - minY));
    XSync(display, False);
    usleep(800 * 1000);

    XWindowAttributes attributes;
    XGetWindowAttributes(display, root, &attributes);
    XImage *image = XGetImage(display, root, 0, 0, (unsigned)attributes.width, (unsigned)attributes.height,
                              AllPlanes, ZPixmap);
    if (!image) {
        fprintf(stderr, "cannot read the X screen\n");
        return 1;
    }
    const unsigned long colours[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
    const char *names[4] = {"red", "green", "blue", "white"};
    long counts[4] = {0, 0, 0, 0};
    for (int y = 0; y < attributes.height; ++y)
        for (int x = 0; x < attributes.width; ++x) {
            const unsigned long p = XGetPixel(image, x, y) & 0xFFFFFF;
            for (int c = 0; c < 4; ++c) counts[c] += p == colours[c];
        }
    const std::string path = argv[1];
    bool saved;
#ifdef KOVA_HAVE_PNG
    if (path.size() > 4 && path.compare(path.size() - 4, 4, ".png") == 0)
        saved = WritePng(argv[1], image, attributes.width, attributes.height);
    else
#endif
        saved = WriteBmp(argv[1], image, attributes.width, attributes.height);
    XDestroyImage(image);
    XCloseDisplay(display);
    printf("%s %s\n", saved ? "saved" : "could not save", argv[1]);
    bool all = saved;
    for (int c = 0; c < 4; ++c) {
        printf("%s: %ld pixels\n", names[c], counts[c]);
        all = all && counts[c] >= 1000;
    }
    return all ? 0 : 1;
}
