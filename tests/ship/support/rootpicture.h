#ifndef TESTS_SHIP_SUPPORT_ROOTPICTURE_H
#define TESTS_SHIP_SUPPORT_ROOTPICTURE_H

#include <cstdint>
#include <string>
#include <vector>

struct _XDisplay;

// Pictures of the root window of an X server, as `xwd -root` or `import -window root` take them:
// what the server shows at that moment, not what a widget would paint if asked. Holds a
// connection of its own, so that it may be used from a thread other than the toolkit's (one
// thread at a time). Pixels are read as a TrueColor screen of depth 24 holds them. Not copyable.
class RootPicture {
public:
    // Connects to display (":<number>"); ok() tells whether that worked.
    explicit RootPicture(const std::string& display);
    ~RootPicture();
    RootPicture(const RootPicture&) = delete;
    RootPicture& operator=(const RootPicture&) = delete;

    bool ok() const { return m_display != nullptr; }
    // Takes the screen area x, y, width, height (pixels, inside the screen) into pixels, row by
    // row, each 0x00RRGGBB. False when the server gives no picture; pixels is then empty.
    bool take(int x, int y, int width, int height, std::vector<std::uint32_t>& pixels);

private:
    _XDisplay* m_display = nullptr;
};

#endif  // TESTS_SHIP_SUPPORT_ROOTPICTURE_H
