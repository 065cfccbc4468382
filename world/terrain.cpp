#include "world/terrain.h"

#include <GL/gl.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <iostream>

#include "files/datafile.h"
#include "world/heightmap.h"

namespace {

// The component of value under mask, widened or narrowed to 8 bits: fewer bits are repeated into
// the low bits (a 5-bit 31 gives 255), more keep their top 8.
unsigned char component(uint32_t value, uint32_t mask) {
    if (mask == 0) {
        return 0;
    }
    const int shift = __builtin_ctz(mask);
    const uint32_t field = mask >> shift;
    const int bits = 32 - __builtin_clz(field);
    const uint32_t v = (value >> shift) & field;
    if (bits >= 8) {
        return static_cast<unsigned char>(v >> (bits - 8));
    }
    int at = 8 - bits;
    uint32_t out = v << at;
    while (at > 0) {
        at -= bits;
        out |= at >= 0 ? v << at : v >> -at;
    }
    return static_cast<unsigned char>(out);
}

// Writes the blue, green, red bytes of one picture pixel to out.
void pixelBytes(const TexturePicture& picture, const unsigned char* in, unsigned char* out) {
    const unsigned* masks = picture.colorMasks;
    const bool masked = masks[0] != 0 || masks[1] != 0 || masks[2] != 0;
    switch (picture.channels) {
        case 1: {
            const int index = in[0];
            if (picture.palette == nullptr) {
                out[0] = out[1] = out[2] = in[0];
            } else if (index < picture.paletteSize) {
                const unsigned char* entry = picture.palette + 4 * index;
                out[0] = entry[0];
                out[1] = entry[1];
                out[2] = entry[2];
            } else {
                out[0] = out[1] = out[2] = 0;
            }
            break;
        }
        case 2: {
            static const unsigned fiveFiveFive[3] = {0x7C00, 0x03E0, 0x001F};
            const unsigned* m = masked ? masks : fiveFiveFive;
            const uint32_t value = in[0] | (in[1] << 8);
            out[0] = component(value, m[2]);
            out[1] = component(value, m[1]);
            out[2] = component(value, m[0]);
            break;
        }
        default:  // three or four channels: blue, green, red come first unless masks say else
            if (picture.channels == 4 && masked) {
                const uint32_t value =
                    in[0] | (in[1] << 8) | (in[2] << 16) | (static_cast<uint32_t>(in[3]) << 24);
                out[0] = component(value, masks[2]);
                out[1] = component(value, masks[1]);
                out[2] = component(value, masks[0]);
            } else {
                out[0] = in[0];
                out[1] = in[1];
                out[2] = in[2];
            }
            break;
    }
}

// Four times the panorama, the largest picture (15 MB): room for a finer one, not for a file that
// would take the reader seconds and the memory of a texture no GL draws.
constexpr long long kMaxPictureBytes = 64LL * 1024 * 1024;

// Reads the picture and makes the texture; prints the console lines, and on standard error why
// a picture was not read or not used. Returns the texture name, 0 when none was made.
unsigned int loadPicture(Nevra::Bitmap& bitmap, const char* fileName, const char* failureLine,
                         const char* widthLine, const char* heightLine) {
    // Opening a FIFO would wait for a writer for ever: anything but a regular file is refused,
    // and so is a file far larger than any picture the game draws. A missing file is left to the
    // reader, which says so on the console.
    const DataFileStatus status = checkDataFile(fileName, kMaxPictureBytes);
    if (status != DataFileStatus::Read && status != DataFileStatus::Missing) {
        std::cout << failureLine << std::endl;
        std::cerr << "Picture " << fileName
                  << " refused: " << dataFileProblem(status, fileName, kMaxPictureBytes)
                  << std::endl;
        return 0;
    }
    if (bitmap.readBitmap(fileName, 1) != 1) {
        std::cout << failureLine << std::endl;
        return 0;
    }
    std::cout << widthLine << bitmap.getWidth() << std::endl;
    std::cout << heightLine << bitmap.getHeight() << std::endl;
    std::string problem;
    const unsigned int name = uploadTexture(texturePicture(bitmap), problem);
    if (name == 0) {
        std::cerr << "Picture " << fileName << " not used as a texture: " << problem << std::endl;
    }
    return name;
}

}  // namespace

TexturePicture texturePicture(Nevra::Bitmap& bitmap) {
    TexturePicture picture;
    picture.width = bitmap.getWidth();
    picture.height = bitmap.getHeight();
    picture.channels = bitmap.m_channels;
    picture.data = bitmap.getData();
    picture.byteCount = picture.data != nullptr ? bitmap.m_image_size : 0;
    if (bitmap.m_channels == 1 && bitmap.m_palette != nullptr) {
        static_assert(sizeof(Nevra::PaletteEntry) == 4, "palette entries are four bytes");
        picture.palette = reinterpret_cast<const unsigned char*>(bitmap.m_palette);
        picture.paletteSize = bitmap.m_palette_size;
    }
    for (int i = 0; i < 3; ++i) {
        picture.colorMasks[i] = bitmap.m_color_masks[i];
    }
    return picture;
}

std::string textureProblem(const TexturePicture& picture, int maxSide) {
    const std::string size = std::to_string(picture.width) + " x " + std::to_string(picture.height);
    if (picture.width <= 0 || picture.height <= 0) {
        return "it has no pixels (" + size + ")";
    }
    if (picture.channels < 1 || picture.channels > 4) {
        return std::to_string(picture.channels) + " bytes a pixel, which no texture takes";
    }
    if (picture.data == nullptr || picture.byteCount < static_cast<long long>(picture.width) *
                                                           picture.channels * picture.height) {
        return "its pixels are missing";
    }
    if (picture.width > maxSide || picture.height > maxSide) {
        return size + " is larger than the largest texture, " + std::to_string(maxSide) + " x " +
               std::to_string(maxSide);
    }
    return std::string();
}

std::vector<unsigned char> textureBytes(const TexturePicture& picture) {
    std::vector<unsigned char> bytes;
    if (picture.width <= 0 || picture.height <= 0 || picture.channels < 1 || picture.channels > 4 ||
        picture.data == nullptr) {
        return bytes;
    }
    const long long inStride = static_cast<long long>(picture.width) * picture.channels;
    if (picture.byteCount < inStride * picture.height) {
        return bytes;
    }
    const long long outStride = 3LL * picture.width;
    bytes.resize(static_cast<size_t>(outStride * picture.height));
    for (int row = 0; row < picture.height; ++row) {
        const unsigned char* in = picture.data + row * inStride;
        unsigned char* out = bytes.data() + (picture.height - 1 - row) * outStride;
        if (picture.channels == 3) {
            // Blue, green, red already, whatever masks say: the row as it is (the panorama's
            // million and a half bytes, on the way to the first frame).
            std::memcpy(out, in, static_cast<size_t>(outStride));
            continue;
        }
        for (int column = 0; column < picture.width; ++column) {
            pixelBytes(picture, in + column * picture.channels, out + 3 * column);
        }
    }
    return bytes;
}

unsigned int uploadTexture(const TexturePicture& picture, std::string& problem) {
    GLint maxSide = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSide);
    problem = textureProblem(picture, maxSide);
    if (!problem.empty()) {
        return 0;
    }
    while (glGetError() != GL_NO_ERROR) {
    }
    GLuint name = 0;
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    // The GL may take less than its largest side for a picture of this shape: ask it first.
    GLint proxyWidth = 0;
    glTexImage2D(GL_PROXY_TEXTURE_2D, 0, 3, picture.width, picture.height, 0, GL_BGR,
                 GL_UNSIGNED_BYTE, nullptr);
    glGetTexLevelParameteriv(GL_PROXY_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &proxyWidth);
    if (proxyWidth == 0) {
        problem = "the GL takes no texture of " + std::to_string(picture.width) + " x " +
                  std::to_string(picture.height);
    } else {
        const std::vector<unsigned char> bytes = textureBytes(picture);
        glEnable(GL_TEXTURE_2D);
        glGenTextures(1, &name);
        glBindTexture(GL_TEXTURE_2D, name);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        // Rows are packed to the byte, whatever the width.
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glTexImage2D(GL_TEXTURE_2D, 0, 3, picture.width, picture.height, 0, GL_BGR,
                     GL_UNSIGNED_BYTE, bytes.data());
        glDisable(GL_TEXTURE_2D);
    }
    glPopClientAttrib();
    glPopAttrib();
    const GLenum error = glGetError();
    while (glGetError() != GL_NO_ERROR) {
    }
    if (error != GL_NO_ERROR && problem.empty()) {
        problem = "the GL could not make its texture (GL error " + std::to_string(error) + ")";
    }
    if (!problem.empty() && name != 0) {
        glDeleteTextures(1, &name);
        name = 0;
    }
    return name;
}

void Terrain::loadTexture() {
    if (textureLoaded) {
        return;
    }
    snowTexture = loadPicture(snow, "snow16.bmp", "The Snow Texture couldn't be loaded.",
                              "Success: snow.getWidth  = ", "Success: snow.getHeight = ");
    textureLoaded = true;
}

void Terrain::draw() {
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, snowTexture);
    // The texture is modulated by the current colour: white shows the picture as it is.
    glColor3f(1.0f, 1.0f, 1.0f);
    glTranslatef(-617000.0f, 0.0f, -91700.0f);
    // Every cell is a quad of its own; one primitive holds them all, which is the same picture
    // at a fraction of the cost of a primitive per quad.
    glBegin(GL_QUADS);
    for (int r = 0; r < 80; ++r) {
        const double(*near)[3] = Heightmap[r];
        const double(*far)[3] = Heightmap[r + 1];
        for (int c = 0; c < 80; ++c) {
            glTexCoord2f(0.0f, 0.0f);
            glVertex3f(static_cast<float>(near[c][0]), static_cast<float>(near[c][2]),
                       static_cast<float>(near[c][1]));
            glTexCoord2f(1.0f, 0.0f);
            glVertex3f(static_cast<float>(near[c + 1][0]), static_cast<float>(near[c + 1][2]),
                       static_cast<float>(near[c + 1][1]));
            glTexCoord2f(1.0f, 1.0f);
            glVertex3f(static_cast<float>(far[c + 1][0]), static_cast<float>(far[c + 1][2]),
                       static_cast<float>(far[c + 1][1]));
            glTexCoord2f(0.0f, 1.0f);
            glVertex3f(static_cast<float>(far[c][0]), static_cast<float>(far[c][2]),
                       static_cast<float>(far[c][1]));
        }
    }
    glEnd();
    glPopMatrix();
    glPopAttrib();
}

void Panorama::loadTexture() {
    if (textureLoaded) {
        return;
    }
    panoramaTexture =
        loadPicture(panorama, "panorama20480256.bmp", "The Panorama couldn't be loaded.",
                    "Success: panorama.getWidth  = ", "Success: panorama.getHeight = ");
    textureLoaded = true;
}

void backdropQuad(int i, BackdropVertex corners[4]) {
    // The step is pi / 20 in single precision; angles, texture coordinates, sines, cosines and
    // the positions on the circle are each rounded to float.
    const double step = 0.15707963705062866;
    const float a0 = static_cast<float>(i * step);
    const float a1 = static_cast<float>((i + 1) * step);
    const float s0 = static_cast<float>(i * 0.5 * 0.025);
    const float s1 = static_cast<float>((i + 1) * 0.5 * 0.025);
    const float x0 = static_cast<float>(1500.0 * static_cast<float>(std::cos(a0)));
    const float z0 = static_cast<float>(1500.0 * static_cast<float>(std::sin(a0)));
    const float x1 = static_cast<float>(1500.0 * static_cast<float>(std::cos(a1)));
    const float z1 = static_cast<float>(1500.0 * static_cast<float>(std::sin(a1)));
    corners[0] = BackdropVertex{s0, 0.0f, x0, -500.0f, z0};
    corners[1] = BackdropVertex{s1, 0.0f, x1, -500.0f, z1};
    corners[2] = BackdropVertex{s1, 1.0f, x1, 2000.0f, z1};
    corners[3] = BackdropVertex{s0, 1.0f, x0, 2000.0f, z0};
}

void Panorama::draw() {
    glPushMatrix();
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glTranslatef(0.0f, heightAt(1000.0f, 1000.0f), 0.0f);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, panoramaTexture);
    glColor3f(1.0f, 1.0f, 1.0f);
    for (int i = -15; i <= 24; ++i) {
        BackdropVertex corners[4];
        backdropQuad(i, corners);
        glBegin(GL_QUADS);
        for (const BackdropVertex& v : corners) {
            glTexCoord2f(v.s, v.t);
            glVertex3f(v.x, v.y, v.z);
        }
        glEnd();
    }
    glPopAttrib();
    glPopMatrix();
}
