#include "SavedCountTotals.h"

#include "Core.h"
#include "FolderWalk.h"
#include "ImReaderWriter.h"
#include "TagParser.h"

#include <QDebug>
#include <QRegularExpression>

#include <algorithm>
#include <climits>
#include <cmath>
#include <sys/stat.h>

namespace {

const char InstrumentSoftware[] = "ORBELIN_Vn";

bool number(const std::map<std::string, std::string> &items, const char *key, double *value)
{
    const auto it = items.find(key);
    if (it == items.end())
        return false;
    bool ok = false;
    *value = QString::fromStdString(it->second).trimmed().toDouble(&ok);
    return ok && std::isfinite(*value);
}

} // namespace

SavedCountTotals SavedCountTotals::read(const QString &folder)
{
    SavedCountTotals totals;
    // By raw names: a folder or image whose name is not UTF-8 is read like any other.
    const FolderWalk::Folder open(FolderWalk::open(folder));
    QList<FolderWalk::Entry> entries;
    if (open.fd < 0 || !FolderWalk::list(open.fd, &entries)) {
        // Totals of part of a folder would pass for the whole count.
        qDebug() << Q_FUNC_INFO << "cannot list" << folder;
        return totals;
    }
    QList<QByteArray> names;
    for (const FolderWalk::Entry &entry : qAsConst(entries)) {
        if (!S_ISREG(entry.st.st_mode))
            continue;
        totals.m_RawImages = totals.m_RawImages || entry.name.endsWith("_RAW.tif");
        if (entry.name.endsWith("_TAG.tif"))
            names << entry.name;
    }
    std::sort(names.begin(), names.end());

    static const QRegularExpression numbered(QStringLiteral("^\\d+_TAG\\.tif$"));
    const TagParser parser(",");
    const std::string base = FolderWalk::encodeName(folder).toStdString() + '/';
    for (const QByteArray &name : qAsConst(names)) {
        if (!numbered.match(QString::fromLatin1(name)).hasMatch())
            continue;
        const std::string path = base + name.toStdString();
        std::string software;
        std::string description;
        const bool opened = general::ImReaderWriter::readMetadata(path, &software, &description);
        totals.m_TagFiles.push_back(path);
        const auto items = parser.parse(description);
        double value = 0;
        int count = 0;
        if (number(items, "Counted cell number", &value) && value > 0 && value < INT_MAX)
            count = int(value);
        totals.m_CellCounts.push_back(count);
        // Browsed with its own count, but an image the instrument did not write (or that
        // cannot be read) is no field of the totals.
        if (!opened || software != InstrumentSoftware)
            continue;
        ++totals.m_Fields;
        totals.m_CellSum += count;
        if (number(items, "Average fluorescent object size", &value))
            totals.m_SizeSum += float(value);
        // The last image that carries a factor gives it.
        if (number(items, "Volume factor", &value))
            totals.m_VolumeFactor = float(value);
        if (number(items, "Dilution factor", &value) && std::fabs(value) < INT_MAX)
            totals.m_DilutionFactor = int(value);
    }
    return totals;
}

float SavedCountTotals::meanSize() const
{
    return m_Fields > 0 ? m_SizeSum / float(m_Fields) : 0.0f;
}

bool SavedCountTotals::concentration(float *mantissa, int *exponent) const
{
    // cells/mL = cell sum / (fields x volume factor) x dilution factor. Without both
    // factors the formula divides by 0 or takes the logarithm of 0.
    const float volume = float(m_Fields) * m_VolumeFactor;
    if (!(volume > 0) || !std::isfinite(volume) || m_DilutionFactor <= 0
        || m_CellSum > INT_MAX)
        return false;
    float m = 0;
    int e = 0;
    Tesmora::Core::concentration(int(m_CellSum), volume, float(m_DilutionFactor), m, e,
                                 Tesmora::VOLUME_FACTOR_ML);
    if (!std::isfinite(m))
        return false;
    *mantissa = m;
    *exponent = e;
    return true;
}

QString SavedCountTotals::concentrationText() const
{
    float mantissa = 0;
    int exponent = 0;
    if (!concentration(&mantissa, &exponent))
        return QString();
    return Tesmora::Core::concentrationText(mantissa, exponent);
}

QString SavedCountTotals::meanSizeText() const
{
    return QStringLiteral("%1 \u00B5m").arg(double(meanSize()), 0, 'f', 1);
}

QString SavedCountTotals::dilutionFactorText() const
{
    return hasDilutionFactor() ? QString::number(m_DilutionFactor) : QString();
}
