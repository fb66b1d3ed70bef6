#include "support/tiff_fixtures.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

#include <tiffio.h>

namespace quillmere::test {

namespace {

int channelsOf(const TiffPage &page)
{
    switch (page.colour) {
    case TiffPage::Colour::Grey:
    case TiffPage::Colour::Palette:
        return 1;
    case TiffPage::Colour::Cmyk:
        return 4;
    default:
        return 3;
    }
}

void writePage(TIFF *tif, const TiffPage &page, int index, const TiffSample &sample)
{
    const int colourChannels = channelsOf(page);
    const int channels = colourChannels + (page.alpha ? 1 : 0);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(page.width));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(page.height));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, static_cast<std::uint16_t>(page.bitsPerSample));
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, static_cast<std::uint16_t>(channels));
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, page.separatePlanes ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, static_cast<std::uint16_t>(page.compression));
    if (page.reduced) {
        TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_REDUCEDIMAGE);
    }
    if (page.orientation != 0) {
        TIFFSetField(tif, TIFFTAG_ORIENTATION, static_cast<std::uint16_t>(page.orientation));
    }
    if (page.alpha) {
        const std::uint16_t extra[1] = {EXTRASAMPLE_UNASSALPHA};
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, extra);
    }
    switch (page.colour) {
    case TiffPage::Colour::Grey:
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
        break;
    case TiffPage::Colour::Palette: {
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_PALETTE);
        const std::size_t entries = std::size_t(1) << page.bitsPerSample;
        std::vector<std::uint16_t> table = page.palette;
        table.resize(3 * entries);
        TIFFSetField(tif, TIFFTAG_COLORMAP, table.data(), table.data() + entries, table.data() + 2 * entries);
        break;
    }
    case TiffPage::Colour::Cmyk:
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_SEPARATED);
        TIFFSetField(tif, TIFFTAG_INKSET, INKSET_CMYK);
        break;
    case TiffPage::Colour::YCbCrJpeg:
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_JPEG);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_YCBCR);
        TIFFSetField(tif, TIFFTAG_JPEGQUALITY, 95);
        TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        break;
    case TiffPage::Colour::Rgb:
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        break;
    }
    const int bytesPerSample = page.bitsPerSample / 8;
    const auto put = [&](std::vector<std::uint8_t> &out, std::size_t at, unsigned value) {
        if (page.bitsPerSample == 16) {
            const std::uint16_t word = static_cast<std::uint16_t>(value);
            std::memcpy(out.data() + at * 2, &word, 2); // libtiff writes host order
        } else if (page.bitsPerSample == 8) {
            out[at] = static_cast<std::uint8_t>(value);
        } else { // 1, 2 or 4 bits, leftmost sample in the high bits
            const std::size_t bit = at * static_cast<std::size_t>(page.bitsPerSample);
            out[bit / 8] |= static_cast<std::uint8_t>(value << (8 - page.bitsPerSample - bit % 8));
        }
    };
    const int planes = page.separatePlanes ? channels : 1;
    const int perPixel = page.separatePlanes ? 1 : channels;
    if (page.tileSize > 0) {
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, static_cast<std::uint32_t>(page.tileSize));
        TIFFSetField(tif, TIFFTAG_TILELENGTH, static_cast<std::uint32_t>(page.tileSize));
        const std::size_t tileBytes = static_cast<std::size_t>(TIFFTileSize(tif));
        for (int plane = 0; plane < planes; ++plane) {
            for (int ty = 0; ty < page.height; ty += page.tileSize) {
                for (int tx = 0; tx < page.width; tx += page.tileSize) {
                    std::vector<std::uint8_t> tile(tileBytes);
                    for (int y = 0; y < page.tileSize && ty + y < page.height; ++y) {
                        for (int x = 0; x < page.tileSize && tx + x < page.width; ++x) {
                            for (int c = 0; c < perPixel; ++c) {
                                put(tile, (std::size_t(y) * page.tileSize + x) * perPixel + c,
                                    sample(index, tx + x, ty + y, page.separatePlanes ? plane : c));
                            }
                        }
                    }
                    TIFFWriteTile(tif, tile.data(), static_cast<std::uint32_t>(tx), static_cast<std::uint32_t>(ty), 0,
                                  static_cast<std::uint16_t>(plane));
                }
            }
        }
    } else {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP,
                     page.rowsPerStrip > 0 ? static_cast<std::uint32_t>(page.rowsPerStrip)
                                           : TIFFDefaultStripSize(tif, 0));
        const std::size_t lineBytes = static_cast<std::size_t>(TIFFScanlineSize(tif));
        for (int plane = 0; plane < planes; ++plane) {
            for (int y = 0; y < page.height; ++y) {
                std::vector<std::uint8_t> line(lineBytes);
                for (int x = 0; x < page.width; ++x) {
                    for (int c = 0; c < perPixel; ++c) {
                        put(line, std::size_t(x) * perPixel + c, sample(index, x, y, page.separatePlanes ? plane : c));
                    }
                }
                if (TIFFWriteScanline(tif, line.data(), static_cast<std::uint32_t>(y),
                                      static_cast<std::uint16_t>(plane)) < 0) {
                    throw std::runtime_error("libtiff refused a row");
                }
            }
        }
    }
    (void)bytesPerSample;
}

} // namespace

std::string encodeTiff(const std::vector<TiffPage> &pages, const TiffSample &sample, bool bigEndian, bool bigTiff,
                       const std::vector<TiffPage> &subPages, const std::string &description)
{
    char path[] = "/tmp/tiff-fixture-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) {
        throw std::runtime_error("no temporary file");
    }
    ::close(fd);
    std::string mode = "w";
    mode += bigEndian ? "b" : "l";
    if (bigTiff) {
        mode += "8";
    }
    TIFF *tif = TIFFOpen(path, mode.c_str());
    if (!tif) {
        ::unlink(path);
        throw std::runtime_error("libtiff cannot write");
    }
    for (std::size_t i = 0; i < pages.size(); ++i) {
        if (i == 0 && !subPages.empty()) {
            std::vector<std::uint64_t> offsets(subPages.size(), 0);
            TIFFSetField(tif, TIFFTAG_SUBIFD, static_cast<std::uint16_t>(subPages.size()), offsets.data());
        }
        if (i == 0 && !description.empty()) {
            TIFFSetField(tif, TIFFTAG_IMAGEDESCRIPTION, description.c_str());
        }
        writePage(tif, pages[i], static_cast<int>(i), sample);
        TIFFWriteDirectory(tif);
        if (i == 0) {
            // libtiff writes the SubIFDs as the directories that follow.
            for (std::size_t j = 0; j < subPages.size(); ++j) {
                writePage(tif, subPages[j], static_cast<int>(pages.size() + j), sample);
                TIFFWriteDirectory(tif);
            }
        }
    }
    TIFFClose(tif);
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    ::unlink(path);
    return content.str();
}

std::string tiffClaiming(std::uint32_t width, std::uint32_t height, int compression)
{
    TiffPage page;
    page.compression = compression;
    page.rowsPerStrip = 1 << 30;
    std::string file = encodeTiff({page}, [](int, int x, int y, int c) { return unsigned(x * 16 + y * 3 + c) & 255; });
    // Little-endian classic TIFF: the first directory's entries, 12 bytes each.
    const auto u16 = [&](std::size_t at) { return unsigned(std::uint8_t(file[at])) | unsigned(std::uint8_t(file[at + 1])) << 8; };
    const std::size_t directory = u16(4) | std::size_t(u16(6)) << 16;
    for (unsigned i = 0; i < u16(directory); ++i) {
        const std::size_t entry = directory + 2 + 12 * i;
        const unsigned tag = u16(entry);
        if (tag == TIFFTAG_IMAGEWIDTH || tag == TIFFTAG_IMAGELENGTH) {
            const std::uint32_t value = tag == TIFFTAG_IMAGEWIDTH ? width : height;
            file[entry + 2] = 4; // LONG
            file[entry + 3] = 0;
            for (int b = 0; b < 4; ++b) {
                file[entry + 8 + b] = static_cast<char>((value >> (8 * b)) & 255);
            }
        }
    }
    return file;
}

namespace {

std::string le16(unsigned value)
{
    return std::string{static_cast<char>(value & 255), static_cast<char>((value >> 8) & 255)};
}

std::string le32le(std::uint32_t value)
{
    return le16(value & 0xFFFF) + le16(value >> 16);
}

std::uint32_t readLe32(const std::string &file, std::size_t at)
{
    std::uint32_t value = 0;
    for (int b = 3; b >= 0; --b) {
        value = value << 8 | std::uint8_t(file[at + b]);
    }
    return value;
}

} // namespace

std::string plainTiffDirectoryFirst(int width, int height, int rowsPerStrip)
{
    const int strips = (height + rowsPerStrip - 1) / rowsPerStrip;
    const int entries = 9;
    const std::uint32_t arrays = 8 + 2 + 12 * entries + 4;
    const std::uint32_t data = arrays + 8 * std::uint32_t(strips);
    const auto entry = [](unsigned tag, unsigned type, std::uint32_t count, std::uint32_t value) {
        return le16(tag) + le16(type) + le32le(count) + (type == 3 && count == 1 ? le16(value) + le16(0) : le32le(value));
    };
    std::string offsets, counts, pixels;
    for (int s = 0; s < strips; ++s) {
        const int rows = std::min(rowsPerStrip, height - s * rowsPerStrip);
        offsets += le32le(data + std::uint32_t(pixels.size()));
        counts += le32le(std::uint32_t(rows * width * 3));
        for (int y = s * rowsPerStrip; y < s * rowsPerStrip + rows; ++y) {
            for (int x = 0; x < width; ++x) {
                pixels += static_cast<char>((x * 4) & 255);
                pixels += static_cast<char>((y * 6) & 255);
                pixels += static_cast<char>(100);
            }
        }
    }
    std::string file = std::string("II*\0", 4) + le32le(8) + le16(entries);
    file += entry(256, 4, 1, std::uint32_t(width));
    file += entry(257, 4, 1, std::uint32_t(height));
    file += entry(258, 3, 1, 8);
    file += entry(259, 3, 1, 1);
    file += entry(262, 3, 1, 2);
    file += entry(273, 4, std::uint32_t(strips), strips == 1 ? data : arrays);
    file += entry(277, 3, 1, 3);
    file += entry(278, 4, 1, std::uint32_t(rowsPerStrip));
    file += entry(279, 4, std::uint32_t(strips), strips == 1 ? std::uint32_t(pixels.size()) : arrays + 4 * strips);
    file += le32le(0);
    return file + offsets + counts + pixels;
}

std::string withDirectoryLoop(std::string file)
{
    const std::uint32_t directory = readLe32(file, 4);
    const unsigned count = std::uint8_t(file[directory]) | unsigned(std::uint8_t(file[directory + 1])) << 8;
    file.replace(directory + 2 + 12 * count, 4, le32le(directory));
    return file;
}

} // namespace quillmere::test
