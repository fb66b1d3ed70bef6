#include "support/picture_fixtures.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>
#include <zlib.h>

namespace quillmere::test {

std::string le32(std::uint32_t v)
{
    return std::string{char(v & 255), char((v >> 8) & 255), char((v >> 16) & 255), char(v >> 24)};
}

static std::string le16(std::uint32_t v)
{
    return std::string{char(v & 255), char((v >> 8) & 255)};
}

std::string buildBmp(const BmpSpec &s)
{
    std::string info;
    if (s.headerSize == 12) {
        info = le32(12) + le16(static_cast<std::uint32_t>(s.width)) + le16(static_cast<std::uint32_t>(s.height)) +
            le16(s.planes) + le16(s.bitsPerPixel);
    } else {
        info = le32(s.headerSize) + le32(static_cast<std::uint32_t>(s.width)) +
            le32(static_cast<std::uint32_t>(s.height)) + le16(s.planes) + le16(s.bitsPerPixel) + le32(s.compression) +
            le32(s.imageSize) + le32(2835) + le32(2835) + le32(s.colourCount) + le32(0);
        info += le32(s.masks[0]) + le32(s.masks[1]) + le32(s.masks[2]);
        if (s.headerSize <= 1024) {
            info.resize(std::max<std::size_t>(s.headerSize, 4), '\0');
        }
    }
    std::string table;
    for (const QRgb c : s.colours) {
        table += std::string{char(qBlue(c)), char(qGreen(c)), char(qRed(c))};
        if (s.headerSize != 12) {
            table += '\0';
        }
    }
    const std::string before = info + s.masksAfterHeader + table + s.gap;
    return "BM" + le32(static_cast<std::uint32_t>(14 + before.size() + s.pixels.size())) + le32(0) +
        le32(static_cast<std::uint32_t>(14 + before.size())) + before + s.pixels;
}

std::string packRows(int width, int height, int bpp, const std::function<std::uint32_t(int, int)> &value, bool topDown)
{
    const std::size_t rowSize = ((static_cast<std::size_t>(width) * bpp + 31) / 32) * 4;
    std::string out;
    for (int i = 0; i < height; ++i) {
        const int y = topDown ? i : height - 1 - i;
        std::string row(rowSize, '\0');
        for (int x = 0; x < width; ++x) {
            const std::uint32_t v = value(x, y);
            switch (bpp) {
            case 1:
                row[x / 8] = char(row[x / 8] | ((v & 1) << (7 - x % 8)));
                break;
            case 4:
                row[x / 2] = char(row[x / 2] | ((v & 15) << (x % 2 == 0 ? 4 : 0)));
                break;
            case 8:
                row[x] = char(v);
                break;
            case 16:
                row.replace(2 * x, 2, le16(v));
                break;
            case 24:
                row.replace(3 * x, 3, std::string{char(qBlue(v)), char(qGreen(v)), char(qRed(v))});
                break;
            default:
                row.replace(4 * x, 4, le32(v));
                break;
            }
        }
        out += row;
    }
    return out;
}

std::string encodeJpeg(const JpegSpec &recipe, const std::function<QRgb(int, int)> &colour)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(recipe.width);
    cinfo.image_height = static_cast<JDIMENSION>(recipe.height);
    const bool gray = recipe.colour == JpegSpec::Colour::Gray;
    const bool cmyk = recipe.colour == JpegSpec::Colour::CmykAdobe || recipe.colour == JpegSpec::Colour::CmykPlain;
    cinfo.input_components = gray ? 1 : cmyk ? 4 : 3;
    cinfo.in_color_space = gray ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    if (cmyk) {
        // Adobe's files are YCCK with the marker; plain ones CMYK without it.
        jpeg_set_colorspace(&cinfo, recipe.colour == JpegSpec::Colour::CmykAdobe ? JCS_YCCK : JCS_CMYK);
        cinfo.write_Adobe_marker = recipe.colour == JpegSpec::Colour::CmykAdobe;
    }
    jpeg_set_quality(&cinfo, recipe.quality, TRUE);
    std::vector<jpeg_scan_info> script;
    if (recipe.singleCoefficientScans > 0) {
        jpeg_scan_info dc{};
        dc.comps_in_scan = cinfo.num_components;
        for (int c = 0; c < cinfo.num_components; ++c) {
            dc.component_index[c] = c;
        }
        script.push_back(dc);
        for (int k = 1; k <= recipe.singleCoefficientScans; ++k) {
            for (int c = 0; c < cinfo.num_components; ++c) {
                jpeg_scan_info ac{};
                ac.comps_in_scan = 1;
                ac.component_index[0] = c;
                ac.Ss = ac.Se = k;
                script.push_back(ac);
            }
        }
        cinfo.scan_info = script.data();
        cinfo.num_scans = static_cast<int>(script.size());
    } else if (recipe.progressive) {
        jpeg_simple_progression(&cinfo);
    }
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(static_cast<std::size_t>(recipe.width * cinfo.input_components));
    for (int y = 0; y < recipe.height; ++y) {
        for (int x = 0; x < recipe.width; ++x) {
            const QRgb c = colour(x, y);
            JSAMPLE *p = row.data() + x * cinfo.input_components;
            if (gray) {
                p[0] = static_cast<JSAMPLE>(qGray(c));
            } else if (recipe.colour == JpegSpec::Colour::CmykAdobe) {
                // Inverted samples, no black ink: the colour's own channels.
                p[0] = static_cast<JSAMPLE>(qRed(c));
                p[1] = static_cast<JSAMPLE>(qGreen(c));
                p[2] = static_cast<JSAMPLE>(qBlue(c));
                p[3] = 255;
            } else if (cmyk) {
                p[0] = static_cast<JSAMPLE>(255 - qRed(c));
                p[1] = static_cast<JSAMPLE>(255 - qGreen(c));
                p[2] = static_cast<JSAMPLE>(255 - qBlue(c));
                p[3] = 0;
            } else {
                p[0] = static_cast<JSAMPLE>(qRed(c));
                p[1] = static_cast<JSAMPLE>(qGreen(c));
                p[2] = static_cast<JSAMPLE>(qBlue(c));
            }
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::string out(reinterpret_cast<const char *>(buffer), size);
    std::free(buffer);
    return out;
}

std::string withJpegFrameSize(std::string jpeg, int width, int height)
{
    for (std::size_t i = 2; i + 9 < jpeg.size(); ++i) {
        const unsigned char m = static_cast<unsigned char>(jpeg[i + 1]);
        if (static_cast<unsigned char>(jpeg[i]) == 0xFF && (m == 0xC0 || m == 0xC1 || m == 0xC2)) {
            jpeg[i + 5] = char(height >> 8);
            jpeg[i + 6] = char(height & 255);
            jpeg[i + 7] = char(width >> 8);
            jpeg[i + 8] = char(width & 255);
            break;
        }
    }
    return jpeg;
}

std::size_t jpegScanMarker(const std::string &jpeg, int n)
{
    std::size_t at = 0;
    for (int i = 0; i <= n; ++i) {
        at = jpeg.find("\xFF\xDA", i == 0 ? 0 : at + 2);
        if (at == std::string::npos) {
            break;
        }
    }
    return at;
}

int colourDistance(QRgb a, QRgb b)
{
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

} // namespace quillmere::test

namespace quillmere::test {

std::string be32(std::uint32_t v)
{
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

std::string pngChunk(const std::string &type, const std::string &payload)
{
    const std::string body = type + payload;
    const auto crc = static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef *>(body.data()), static_cast<uInt>(body.size())));
    return be32(static_cast<std::uint32_t>(payload.size())) + body + be32(crc);
}

std::string encodePng(const PngSpec &s, const std::function<unsigned(int, int, int)> &sample)
{
    static const int channelsOf[7] = {1, 0, 3, 1, 2, 0, 4};
    const int channels = channelsOf[s.colourType];
    // The filtered rows (filter 0), pass by pass when interlaced.
    static const int rowStart[7] = {0, 0, 4, 0, 2, 0, 1}, rowStep[7] = {8, 8, 8, 4, 4, 2, 2};
    static const int columnStart[7] = {0, 4, 0, 2, 0, 1, 0}, columnStep[7] = {8, 8, 4, 4, 2, 2, 1};
    std::string rows;
    for (int pass = 0; pass < (s.interlaced ? 7 : 1); ++pass) {
        const int y0 = s.interlaced ? rowStart[pass] : 0, dy = s.interlaced ? rowStep[pass] : 1;
        const int x0 = s.interlaced ? columnStart[pass] : 0, dx = s.interlaced ? columnStep[pass] : 1;
        if (x0 >= s.width) {
            continue;
        }
        for (int y = y0; y < s.height; y += dy) {
            rows += '\0';
            unsigned bits = 0;
            int count = 0;
            for (int x = x0; x < s.width; x += dx) {
                for (int c = 0; c < channels; ++c) {
                    const unsigned v = sample(x, y, c);
                    if (s.bitDepth == 16) {
                        rows += static_cast<char>(v >> 8);
                        rows += static_cast<char>(v);
                    } else if (s.bitDepth == 8) {
                        rows += static_cast<char>(v);
                    } else {
                        bits = (bits << s.bitDepth) | (v & ((1u << s.bitDepth) - 1));
                        count += s.bitDepth;
                        if (count == 8) {
                            rows += static_cast<char>(bits);
                            bits = 0;
                            count = 0;
                        }
                    }
                }
            }
            if (count > 0) {
                rows += static_cast<char>(bits << (8 - count));
            }
        }
    }
    std::string packed(compressBound(static_cast<uLong>(rows.size())), '\0');
    uLongf packedSize = static_cast<uLongf>(packed.size());
    compress2(reinterpret_cast<Bytef *>(packed.data()), &packedSize, reinterpret_cast<const Bytef *>(rows.data()),
              static_cast<uLong>(rows.size()), s.compression);
    packed.resize(packedSize);

    std::string header = be32(static_cast<std::uint32_t>(s.width)) + be32(static_cast<std::uint32_t>(s.height));
    header += static_cast<char>(s.bitDepth);
    header += static_cast<char>(s.colourType);
    header += std::string(2, '\0');
    header += static_cast<char>(s.interlaced ? 1 : 0);
    std::string png = "\x89PNG\r\n\x1a\n" + pngChunk("IHDR", header);
    if (!s.palette.empty()) {
        std::string colours;
        for (const QRgb c : s.palette) {
            colours += static_cast<char>(qRed(c));
            colours += static_cast<char>(qGreen(c));
            colours += static_cast<char>(qBlue(c));
        }
        png += pngChunk("PLTE", colours);
    }
    if (!s.transparency.empty()) {
        png += pngChunk("tRNS", s.transparency);
    }
    for (const std::string &chunk : s.beforeData) {
        png += chunk;
    }
    png += pngChunk("IDAT", packed);
    for (const std::string &chunk : s.afterData) {
        png += chunk;
    }
    return png + pngChunk("IEND", "");
}

} // namespace quillmere::test
