#ifndef NEVRA_BITMAP_H
#define NEVRA_BITMAP_H

/// \file
/// Bitmap: an 8-bit image read from a Windows BMP file. Not thread-safe, not copyable.

#include "imagebase.h"

namespace Nevra {

/// One palette entry exactly as a BMP file stores it.
struct PaletteEntry {
    unsigned char blue;      ///< blue intensity, 0..255
    unsigned char green;     ///< green intensity, 0..255
    unsigned char red;       ///< red intensity, 0..255
    unsigned char reserved;  ///< the file's fourth byte, kept as read
};

/// A picture read from a BMP file into an ImageBase<unsigned char>: m_dim = (W, H, 1, 1), one
/// channel per byte of a pixel, row 0 the top row of the picture, no padding between rows.
/// Each pixel keeps the file's bytes: the palette index for 8-bit files (the palette is kept
/// beside, not applied), blue, green, red (and the fourth byte) for 24- and 32-bit files, the
/// packed value low byte first for 16-bit files.
class NEVRA_API Bitmap : public ImageBase<unsigned char> {
public:
    /// An empty picture: extents 0, no storage, no window/level records, no palette.
    Bitmap();
    /// Frees the palette; the storage goes with ImageBase<unsigned char>.
    ~Bitmap() override;

    /// Reads the BMP file `fileName`. `option` has no effect.
    /// Reads uncompressed pictures (BI_RGB, and BI_BITFIELDS at 16 and 32 bits, bytes kept as
    /// stored) of 8 bits with a palette of 1..256 entries, or of 16, 24 or 32 bits (2, 3 or 4
    /// channels), bottom-up or top-down, with any of the usual information headers (40, 52, 56,
    /// 108 or 124 bytes) and pixel data at bfOffBits when that lies past the header and palette.
    /// Width and height are at most 2^24 and the picture at most 2^31 - 1 bytes.
    /// Success: returns 1; geometry, storage and window/level records are replaced as by init,
    /// m_spacing[0] = W / biXPelsPerMeter and m_spacing[1] = H / biYPelsPerMeter where those are
    /// non-zero, an 8-bit file replaces the palette (m_palette_size entries), and m_color_masks
    /// are set.
    /// Failure: returns -1 and the object is left as it was, except that m_bit_count holds the
    /// file's depth once the signature "BM" and the header were read. Fails for a null name, a file
    /// that cannot be opened or is not a regular file (a FIFO, a device, a socket or a directory,
    /// refused at once without blocking), a wrong signature, a truncated file (or one without a
    /// length, as in /proc), an unknown header size, depths other than 8, 16, 24 and 32,
    /// compression, a negative width, sizes beyond the limits (a row of more than 2^31 - 1 bytes
    /// too, even in a picture of height 0), an image over external storage (m_external_data), and
    /// when the storage cannot be allocated. Prints nothing itself.
    int readBitmap(const char* fileName, int option);

    int m_bit_count;          ///< bits per pixel of the last BMP file read; 0 at first
    int m_palette_size;       ///< entries in m_palette (8-bit files only); 0 at first
    PaletteEntry* m_palette;  ///< the file's palette (new[]), owned; null at first
    /// The red, green and blue masks of a BI_BITFIELDS file (16 or 32 bits a pixel), as stored;
    /// all 0 after reading any other file, and at first. Each pixel's bytes stay as stored.
    unsigned int m_color_masks[3];
};

}  // namespace Nevra

#endif  // NEVRA_BITMAP_H
