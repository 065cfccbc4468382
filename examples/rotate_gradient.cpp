// Reads a BMP picture, turns it a quarter turn, takes its first derivatives with Nevra's default
// kernel and writes them to a raw file, printing the geometry of each step:
//   rotate_gradient picture.bmp gradient.raw
// The raw file holds, row by row from the top, two floats per pixel (native byte order): the row
// above minus the row below and the column to the left minus the column to the right, each
// weighted 1 2 1; the outermost ring of pixels is 0.
#include <nevra/bitmap.h>

#include <cstdio>
#include <filesystem>
#include <memory>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s picture.bmp gradient.raw\n", argv[0]);
        return 2;
    }
    // Only a regular file: opening a FIFO or a device to read could wait forever.
    std::error_code error;
    if (!std::filesystem::is_regular_file(argv[1], error)) {
        std::fprintf(stderr, "%s: not a regular file\n", argv[1]);
        return 1;
    }
    Nevra::Bitmap picture;
    picture.m_verbose = 0;  // no progress lines from the operations: this program prints its own
    if (picture.readBitmap(argv[1], 1) != 1) {
        std::fprintf(stderr, "%s: not a BMP picture that Nevra reads\n", argv[1]);
        return 1;
    }
    if (picture.m_bit_count == 16) {
        std::fprintf(stderr, "%s: 16-bit pictures are not handled here\n", argv[1]);
        return 1;
    }
    std::printf("read    %d x %d, %d bits per pixel\n", picture.getWidth(), picture.getHeight(),
                picture.m_bit_count);

    picture.rotate(2);  // a quarter turn in the picture's plane: width and height swap
    std::printf("rotated %d x %d\n", picture.getWidth(), picture.getHeight());

    // The derivatives read one channel, so the picture becomes grey first: the palette's colour
    // of each index in an 8-bit picture, the mean of blue, green and red otherwise.
    Nevra::ImageBase<float> grey;
    grey.m_verbose = 0;
    grey.init(picture.getWidth(), picture.getHeight(), 1, 1, 1);
    for (int y = 0; y < picture.getHeight(); ++y) {
        for (int x = 0; x < picture.getWidth(); ++x) {
            int sum = 0;
            if (picture.m_bit_count == 8) {
                const int index = picture.element(x, y, 0, 0, 0);
                if (index < picture.m_palette_size) {  // an index past the palette stays black
                    const Nevra::PaletteEntry& colour = picture.m_palette[index];
                    sum = colour.blue + colour.green + colour.red;
                }
            } else {
                for (int c = 0; c < 3; ++c)
                    sum += picture.element(x, y, 0, 0, c);
            }
            grey.setValue(sum / 3.0f, x, y, 0, 0, 0);
        }
    }

    // keepSize: the result has the picture's extents. It is a new image, owned here.
    std::unique_ptr<Nevra::Image> gradient(
        grey.computeGradient(Nevra::kTypeFloat, nullptr, true, nullptr));
    if (!gradient) {
        std::fprintf(stderr, "%s: no derivatives of an empty picture\n", argv[1]);
        return 1;
    }
    if (gradient->saveRaw(argv[2]) != 0) {
        std::fprintf(stderr, "%s: cannot write the result\n", argv[2]);
        return 1;
    }
    std::printf("wrote   %d x %d, %d float channels: %s\n", gradient->getWidth(),
                gradient->getHeight(), gradient->m_channels, argv[2]);
    return 0;
}
