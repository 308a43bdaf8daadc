#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace general {

// An image buffer that reads and writes the instrument's TIFF files: grey or RGB, 8 or 16
// bits per sample, with the metadata string of saved counts ("Instrument" in the Software
// tag, the other key=value items in the ImageDescription tag). Paths are instrument paths.
class ImReaderWriter
{
public:
    // Frames are 1280x960; a file that claims more than this on a side is refused.
    static constexpr int MaxSide = 2560;

    ImReaderWriter();

    // Reads the file by its extension (".tif", ".tiff"). False, with the buffer emptied,
    // for a missing, damaged, truncated or oversized file or an unsupported layout.
    bool read(std::string &path);

    // Takes a copy of width x height pixels of samplesPerPixel (1 grey, 3 RGB) samples of
    // bitsPerSample (8 or 16) bits, rows packed. False for sizes or layouts it cannot keep.
    bool setImage(const void *pixels, int width, int height, uint16_t bitsPerSample,
                  uint16_t samplesPerPixel);

    // Writes an LZW-compressed TIFF in one strip. The metadata is "key=value,key=value":
    // the value of "Instrument" goes to the Software tag, every other item, in order and
    // joined by ",", to the ImageDescription tag. A failed write leaves no file behind.
    bool write(const std::string &path, const std::string &metadata) const;

    // The Software and ImageDescription tags of a TIFF file, without its pixels.
    static bool readMetadata(const std::string &path, std::string *software,
                             std::string *description);

    // The 16-bit buffer for 16, the 8-bit buffer for any other value; null when empty.
    unsigned char *data(int bitsPerPixel);

    int width() const { return m_Width; }
    int height() const { return m_Height; }
    uint16_t bitsPerSample() const { return m_BitsPerSample; }
    uint16_t samplesPerPixel() const { return m_SamplesPerPixel; }
    // Tags of the file last read.
    const std::string &software() const { return m_Software; }
    const std::string &description() const { return m_Description; }

private:
    bool readTiff(const std::string &realPath);
    void clear();

    int m_Width = 0;
    int m_Height = 0;
    uint16_t m_BitsPerSample = 0;
    uint16_t m_SamplesPerPixel = 0;
    std::vector<uint8_t> m_Data8;
    std::vector<uint16_t> m_Data16;
    std::string m_Software;
    std::string m_Description;
};

} // namespace general
