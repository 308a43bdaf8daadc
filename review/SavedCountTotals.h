#pragma once

#include <QString>
#include <string>
#include <vector>

// The totals of one save folder, read from the metadata of its annotated images
// ("01_TAG.tif", ...): cell number, mean size, volume and dilution factors, and the
// concentration. Only the numbered images whose Software tag says the instrument wrote
// them are fields of the totals. Paths are instrument paths; a folder or image whose name
// is not UTF-8 is read like any other.
class SavedCountTotals
{
public:
    // Lists and reads the folder's annotated images.
    static SavedCountTotals read(const QString &folder);

    // True when there is something to show: at least one field.
    bool hasTotals() const { return m_Fields > 0; }
    // The folder holds raw images that a re-analysis can count again.
    bool hasRawImages() const { return m_RawImages; }

    // The browsable images (digits + "_TAG.tif"), in file-name order, and their counts. The
    // paths are bytes as the system takes them (FolderWalk::encodeName()), for the image
    // reader.
    const std::vector<std::string> &tagFiles() const { return m_TagFiles; }
    const std::vector<int> &cellCounts() const { return m_CellCounts; }
    // The browsable images the instrument wrote: the fields summed, averaged and counted
    // in the volume.
    int fieldCount() const { return m_Fields; }

    qint64 cellSum() const { return m_CellSum; }
    float meanSize() const;
    bool hasDilutionFactor() const { return m_DilutionFactor > 0; }
    int dilutionFactor() const { return m_DilutionFactor; }
    float volumeFactor() const { return m_VolumeFactor; }
    // False when a factor is missing or not positive: no concentration can be given.
    bool concentration(float *mantissa, int *exponent) const;

    // The screen's texts; empty when the value is not known.
    QString concentrationText() const;
    QString meanSizeText() const;
    QString dilutionFactorText() const;

private:
    std::vector<std::string> m_TagFiles;
    std::vector<int> m_CellCounts;
    int m_Fields = 0;
    qint64 m_CellSum = 0;
    float m_SizeSum = 0;
    float m_VolumeFactor = 0;
    int m_DilutionFactor = 0;
    bool m_RawImages = false;
};
