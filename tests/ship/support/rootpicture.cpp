#include "ship/support/rootpicture.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

RootPicture::RootPicture(const std::string& display) : m_display(XOpenDisplay(display.c_str())) {}

RootPicture::~RootPicture() {
    if (m_display != nullptr)
        XCloseDisplay(m_display);
}

bool RootPicture::take(int x, int y, int width, int height, std::vector<std::uint32_t>& pixels) {
    pixels.clear();
    if (m_display == nullptr || width <= 0 || height <= 0)
        return false;
    XImage* image =
        XGetImage(m_display, DefaultRootWindow(m_display), x, y, static_cast<unsigned>(width),
                  static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (image == nullptr)
        return false;
    pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int row = 0; row < height; ++row) {
        for (int col = 0; col < width; ++col)
            pixels[static_cast<size_t>(row) * width + col] =
                static_cast<std::uint32_t>(XGetPixel(image, col, row)) & 0xffffffu;
    }
    XDestroyImage(image);
    return true;
}
