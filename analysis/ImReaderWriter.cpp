#include "ImReaderWriter.h"

#include "SystemPaths.h"
#include "TagParser.h"

#include <QDebug>

#include <tiffio.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>

namespace general {

namespace {

int reportTiff(TIFF *, void *, const char *module, const char *format, va_list args)
{
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    qDebug() << Q_FUNC_INFO << (module ? module : "") << text;
    return 1;   // handled: libtiff prints nothing itself
}

struct TiffCloser
{
    void operator()(TIFF *tiff) const { TIFFClose(tiff); }
};
using TiffFile = std::unique_ptr<TIFF, TiffCloser>;

// Opens with the messages sent to the console as diagnostics and allocations bounded
// well above the largest frame, so a lying header cannot make it allocate gigabytes.
TiffFile openTiff(const std::string &realPath, const char *mode)
{
    TIFFOpenOptions *options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, reportTiff, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, reportTiff, nullptr);
    TIFFOpenOptionsSetMaxSingleMemAlloc(
        options, tmsize_t(ImReaderWriter::MaxSide) * ImReaderWriter::MaxSide * 3 * 2);
    TiffFile tiff(TIFFOpenExt(realPath.c_str(), mode, options));
    TIFFOpenOptionsFree(options);
    return tiff;
}

bool isTiffName(const std::string &path)
{
    const auto dot = path.rfind('.');
    if (dot == std::string::npos)
        return false;
    std::string extension = path.substr(dot + 1);
    for (char &c : extension)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return extension == "tif" || extension == "tiff";
}

bool validLayout(int width, int height, uint16_t bitsPerSample, uint16_t samplesPerPixel)
{
    return width > 0 && height > 0 && width <= ImReaderWriter::MaxSide
        && height <= ImReaderWriter::MaxSide && (bitsPerSample == 8 || bitsPerSample == 16)
        && (samplesPerPixel == 1 || samplesPerPixel == 3);
}

std::string stringTag(TIFF *tiff, ttag_t tag)
{
    const char *value = nullptr;
    if (TIFFGetField(tiff, tag, &value) == 1 && value)
        return value;
    return std::string();
}

// Without "m" libtiff maps the file into memory, and a file that shrinks while it is read
// (a stick pulled) ends the program with SIGBUS; read through read(2) it fails like any
// file cut short.
const char ReadMode[] = "rm";

} // namespace

ImReaderWriter::ImReaderWriter() = default;

void ImReaderWriter::clear()
{
    m_Width = m_Height = 0;
    m_BitsPerSample = m_SamplesPerPixel = 0;
    m_Data8.clear();
    m_Data8.shrink_to_fit();
    m_Data16.clear();
    m_Data16.shrink_to_fit();
    m_Software.clear();
    m_Description.clear();
}

bool ImReaderWriter::read(std::string &path)
{
    clear();
    if (!isTiffName(path)) {
        qDebug() << Q_FUNC_INFO << "not a TIFF file name:" << path.c_str();
        return false;
    }
    if (!readTiff(SystemPaths::map(path))) {
        qDebug() << Q_FUNC_INFO << "cannot read" << path.c_str();
        clear();
        return false;
    }
    return true;
}

bool ImReaderWriter::readTiff(const std::string &realPath)
{
    TiffFile tiff = openTiff(realPath, ReadMode);
    if (!tiff)
        return false;
    TIFF *t = tiff.get();
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t bits = 0;
    uint16_t samples = 0;
    uint16_t planar = PLANARCONFIG_CONTIG;
    uint16_t photometric = 0;
    if (TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &width) != 1
        || TIFFGetField(t, TIFFTAG_IMAGELENGTH, &height) != 1
        || TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric) != 1)
        return false;
    TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(t, TIFFTAG_PLANARCONFIG, &planar);
    if (width > uint32_t(MaxSide) || height > uint32_t(MaxSide)
        || !validLayout(int(width), int(height), bits, samples) || TIFFIsTiled(t)
        || planar != PLANARCONFIG_CONTIG)
        return false;
    const bool grey = photometric == PHOTOMETRIC_MINISBLACK
                      || photometric == PHOTOMETRIC_MINISWHITE;
    if ((samples == 1 && !grey) || (samples == 3 && photometric != PHOTOMETRIC_RGB))
        return false;

    const tmsize_t rowBytes = tmsize_t(width) * samples * (bits / 8);
    if (TIFFScanlineSize(t) != rowBytes)
        return false;
    std::vector<uint8_t> pixels(size_t(rowBytes) * height);
    for (uint32_t row = 0; row < height; ++row) {
        if (TIFFReadScanline(t, pixels.data() + size_t(row) * size_t(rowBytes), row) != 1)
            return false;
    }

    m_Width = int(width);
    m_Height = int(height);
    m_BitsPerSample = bits;
    m_SamplesPerPixel = samples;
    m_Software = stringTag(t, TIFFTAG_SOFTWARE);
    m_Description = stringTag(t, TIFFTAG_IMAGEDESCRIPTION);
    if (bits == 8) {
        if (photometric == PHOTOMETRIC_MINISWHITE) {
            for (uint8_t &p : pixels)
                p = uint8_t(255 - p);
        }
        m_Data8 = std::move(pixels);
    } else {
        m_Data16.resize(pixels.size() / 2);
        std::memcpy(m_Data16.data(), pixels.data(), pixels.size());
        if (photometric == PHOTOMETRIC_MINISWHITE) {
            for (uint16_t &p : m_Data16)
                p = uint16_t(65535 - p);
        }
    }
    return true;
}

bool ImReaderWriter::setImage(const void *pixels, int width, int height,
                              uint16_t bitsPerSample, uint16_t samplesPerPixel)
{
    if (!pixels || !validLayout(width, height, bitsPerSample, samplesPerPixel))
        return false;
    clear();
    const size_t samples = size_t(width) * size_t(height) * samplesPerPixel;
    if (bitsPerSample == 8) {
        const auto *bytes = static_cast<const uint8_t *>(pixels);
        m_Data8.assign(bytes, bytes + samples);
    } else {
        const auto *words = static_cast<const uint16_t *>(pixels);
        m_Data16.assign(words, words + samples);
    }
    m_Width = width;
    m_Height = height;
    m_BitsPerSample = bitsPerSample;
    m_SamplesPerPixel = samplesPerPixel;
    return true;
}

bool ImReaderWriter::write(const std::string &path, const std::string &metadata) const
{
    const void *pixels = m_BitsPerSample == 16 ? static_cast<const void *>(m_Data16.data())
                                               : static_cast<const void *>(m_Data8.data());
    if (!validLayout(m_Width, m_Height, m_BitsPerSample, m_SamplesPerPixel)) {
        qDebug() << Q_FUNC_INFO << "no image to write";
        return false;
    }

    // "Instrument" names the program in the Software tag; the rest describes the image.
    const auto tags = TagParser(",").parse(metadata);
    const auto instrument = tags.find("Instrument");
    std::string description;
    std::string::size_type start = 0;
    while (start <= metadata.size()) {
        auto end = metadata.find(',', start);
        if (end == std::string::npos)
            end = metadata.size();
        const std::string item = metadata.substr(start, end - start);
        if (!item.empty() && item.compare(0, 11, "Instrument=") != 0)
            description += (description.empty() ? "" : ",") + item;
        start = end + 1;
    }

    const std::string realPath = SystemPaths::map(path);
    TiffFile tiff = openTiff(realPath, "w");
    if (!tiff) {
        qDebug() << Q_FUNC_INFO << "cannot create" << path.c_str();
        return false;
    }
    TIFF *t = tiff.get();
    const tmsize_t bytes = tmsize_t(m_Width) * m_Height * m_SamplesPerPixel
                           * (m_BitsPerSample / 8);
    bool ok = TIFFSetField(t, TIFFTAG_IMAGEWIDTH, uint32_t(m_Width))
        && TIFFSetField(t, TIFFTAG_IMAGELENGTH, uint32_t(m_Height))
        && TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, m_BitsPerSample)
        && TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, m_SamplesPerPixel)
        && TIFFSetField(t, TIFFTAG_PHOTOMETRIC,
                        m_SamplesPerPixel == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK)
        && TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG)
        && TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW)
        && TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, uint32_t(m_Height))
        && (instrument == tags.end()
            || TIFFSetField(t, TIFFTAG_SOFTWARE, instrument->second.c_str()))
        && (description.empty()
            || TIFFSetField(t, TIFFTAG_IMAGEDESCRIPTION, description.c_str()))
        && TIFFWriteEncodedStrip(t, 0, const_cast<void *>(pixels), bytes) == bytes
        && TIFFWriteDirectory(t) && TIFFFlush(t);
    tiff.reset();
    if (!ok) {
        qDebug() << Q_FUNC_INFO << "cannot write" << path.c_str();
        std::remove(realPath.c_str());
    }
    return ok;
}

bool ImReaderWriter::readMetadata(const std::string &path, std::string *software,
                                  std::string *description)
{
    TiffFile tiff = openTiff(SystemPaths::map(path), ReadMode);
    if (!tiff)
        return false;
    if (software)
        *software = stringTag(tiff.get(), TIFFTAG_SOFTWARE);
    if (description)
        *description = stringTag(tiff.get(), TIFFTAG_IMAGEDESCRIPTION);
    return true;
}

unsigned char *ImReaderWriter::data(int bitsPerPixel)
{
    if (bitsPerPixel == 16)
        return m_Data16.empty() ? nullptr : reinterpret_cast<unsigned char *>(m_Data16.data());
    return m_Data8.empty() ? nullptr : m_Data8.data();
}

} // namespace general
