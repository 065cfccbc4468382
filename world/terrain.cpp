#include "world/terrain.h"

#include <GL/gl.h>

#include <cmath>
#include <iostream>

#include "world/heightmap.h"

namespace {

// Expands a 5-bit colour component to 8 bits, so that 31 becomes 255.
unsigned char expandFive(unsigned value) {
    return static_cast<unsigned char>((value << 3) | (value >> 2));
}

// Writes the blue, green, red bytes of one picture pixel to out.
void pixelBytes(const TexturePicture& picture, const unsigned char* in, unsigned char* out) {
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
            const unsigned value = in[0] | (in[1] << 8);
            out[0] = expandFive(value & 31);
            out[1] = expandFive((value >> 5) & 31);
            out[2] = expandFive((value >> 10) & 31);
            break;
        }
        default:  // three or four channels: blue, green, red come first
            out[0] = in[0];
            out[1] = in[1];
            out[2] = in[2];
            break;
    }
}

// The picture of a Bitmap after a read.
TexturePicture pictureOf(Nevra::Bitmap& bitmap) {
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
    return picture;
}

// Reads the picture on a successful read and makes the texture; prints the console lines.
// Returns the texture name, 0 when none was made.
unsigned int loadPicture(Nevra::Bitmap& bitmap, const char* fileName, const char* failureLine,
                         const char* widthLine, const char* heightLine) {
    if (bitmap.readBitmap(fileName, 1) != 1) {
        std::cout << failureLine << std::endl;
        return 0;
    }
    std::cout << widthLine << bitmap.getWidth() << std::endl;
    std::cout << heightLine << bitmap.getHeight() << std::endl;
    return uploadTexture(pictureOf(bitmap));
}

}  // namespace

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
        for (int column = 0; column < picture.width; ++column) {
            pixelBytes(picture, in + column * picture.channels, out + 3 * column);
        }
    }
    return bytes;
}

unsigned int uploadTexture(const TexturePicture& picture) {
    const std::vector<unsigned char> bytes = textureBytes(picture);
    if (bytes.empty()) {
        return 0;
    }
    GLuint name = 0;
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glEnable(GL_TEXTURE_2D);
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    // Rows are packed to the byte, whatever the width.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, 3, picture.width, picture.height, 0, GL_BGR, GL_UNSIGNED_BYTE,
                 bytes.data());
    glDisable(GL_TEXTURE_2D);
    glPopClientAttrib();
    glPopAttrib();
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
