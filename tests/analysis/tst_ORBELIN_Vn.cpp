#include "ORBELIN_Vn.h"
#include "SyntheticField.h"

#include <QtTest>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace {

// A field of 5 +- 1 um cells (a quarter of a frame by default) with the given shapes.
SyntheticField::Options smallField(unsigned seed, int width = 640, int height = 480,
                                   int cells = 20, int pairs = 5, int debris = 8,
                                   int elongated = 3)
{
    SyntheticField::Options o;
    o.width = width;
    o.height = height;
    o.cells = cells;
    o.pairs = pairs;
    o.triples = 0;
    o.debris = debris;
    o.fibres = 0;
    o.blobs = 0;
    o.elongated = elongated;
    o.seed = seed;
    return o;
}

// The protocol of those tests: debris (1 um) is below the minimum size.
analysis_param_t yeastParam()
{
    analysis_param_t p;
    p.minSize = 2.5f;
    p.maxSize = 50.0f;
    p.roundness = 30;
    return p;
}

// The counted object whose outline holds the point, -1 for none.
int objectAt(const ORBELIN_Vn &counter, float x, float y)
{
    const std::vector<object_t> &objects = counter.objects();
    for (size_t i = 0; i < objects.size(); ++i) {
        if (cv::pointPolygonTest(objects[i].contour, cv::Point2f(x, y), false) >= 0)
            return int(i);
    }
    return -1;
}

struct Tally
{
    int truth = 0;
    int found = 0;
    int unmatched = 0;      // counted objects on no true cell
    int dim = 0;            // touching cells below half their cluster's brightest
    int dimFound = 0;       // ... counted as objects of their own
    double worstField = 0;  // largest count error of one field, share of its truth
};

void countFields(const SyntheticField::Options &base, int fields, const analysis_param_t &param,
                 Tally &t)
{
    for (int i = 0; i < fields; ++i) {
        SyntheticField::Options o = base;
        o.seed = base.seed + unsigned(i);
        const SyntheticField field(o);
        ORBELIN_Vn counter;
        counter.setImage(Tesmora::GFL, field.image());
        QVERIFY(counter.findObject(param));
        const size_t found = counter.objects().size();
        std::vector<int> cellsIn(found, 0);
        std::vector<int> objectOf;
        for (const SyntheticField::Shape &shape : field.shapes()) {
            objectOf.push_back(shape.isCell() ? objectAt(counter, shape.x, shape.y) : -1);
            if (objectOf.back() >= 0)
                ++cellsIn[size_t(objectOf.back())];
        }
        for (size_t s = 0; s < objectOf.size(); ++s) {
            if (field.shapes()[s].clusterShare < 0.5f) {
                ++t.dim;
                t.dimFound += objectOf[s] >= 0 && cellsIn[size_t(objectOf[s])] == 1;
            }
        }
        t.unmatched += int(std::count(cellsIn.begin(), cellsIn.end(), 0));
        t.truth += field.cellCount();
        t.found += int(found);
        t.worstField = std::max(t.worstField, std::fabs(double(found) / field.cellCount() - 1));
    }
}

} // namespace

class ORBELIN_VnTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Frames as the camera gives them (about 170 cells, a third of them in touching
    // clusters of two and three down to 0.3 of the brightest, debris, fibres, out-of-focus
    // blobs), on seeds the counter was not tuned on.
    void accuracy_data()
    {
        QTest::addColumn<int>("bits");
        QTest::addColumn<float>("noise");
        QTest::addColumn<float>("meanSize");
        QTest::addColumn<int>("fields");
        QTest::newRow("yeast, 8 bits") << 8 << 4.0f << 5.0f << 10;
        QTest::newRow("yeast, 12 bits in 16") << 16 << 4.0f << 5.0f << 4;
        QTest::newRow("yeast, noisy") << 8 << 8.0f << 5.0f << 4;
        QTest::newRow("large cells") << 8 << 4.0f << 12.0f << 4;
    }
    void accuracy()
    {
        QFETCH(int, bits);
        QFETCH(float, noise);
        QFETCH(float, meanSize);
        QFETCH(int, fields);
        SyntheticField::Options o;
        o.meanSize = meanSize;
        o.sizeSpread = meanSize / 5;
        o.bits = bits;
        o.noise = noise;
        o.seed = 5001;
        analysis_param_t param;
        param.minSize = 0.4f * meanSize;
        param.maxSize = 2.4f * meanSize;
        Tally t;
        countFields(o, fields, param, t);

        const QString tally = QStringLiteral("%1 found of %2, worst field %3 %, %4 unmatched, "
                                             "%5 of %6 dim touching cells")
                                  .arg(t.found).arg(t.truth).arg(100 * t.worstField)
                                  .arg(t.unmatched).arg(t.dimFound).arg(t.dim);
        QVERIFY2(std::abs(t.found - t.truth) <= 0.015 * t.truth, qPrintable(tally));
        QVERIFY2(t.worstField <= 0.03, qPrintable(tally));
        QVERIFY2(t.unmatched < 0.02 * t.truth, qPrintable(tally));
        QVERIFY2(t.dimFound >= 0.7 * t.dim, qPrintable(tally));
    }

    void filters_data()
    {
        QTest::addColumn<float>("minSize");
        QTest::addColumn<float>("maxSize");
        QTest::addColumn<int>("roundness");
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("expected"); // cells + pairs x 2 + debris + elongated
        // Field: 6 cells, 2 touching pairs, 4 debris, 3 elongated.
        QTest::newRow("yeast protocol") << 2.5f << 50.0f << 30 << 7 << 6 + 4;
        QTest::newRow("minimum 0.3 takes the debris") << 0.3f << 50.0f << 30 << 7 << 6 + 4 + 4;
        QTest::newRow("roundness 0 takes the elongated shapes, whole")
            << 2.5f << 50.0f << 0 << 7 << 6 + 4 + 3;
        QTest::newRow("maximum below the cells") << 0.3f << 2.5f << 30 << 7 << 4;
        QTest::newRow("no declustering keeps pairs whole") << 2.5f << 50.0f << 30 << 0 << 6 + 2;
        QTest::newRow("minimum above the maximum counts nothing") << 20.0f << 10.0f << 30 << 7 << 0;
        // The background opening is sized from the maximum; it once overflowed or took
        // gigabytes.
        QTest::newRow("maximum of 100000 um") << 2.5f << 1e5f << 30 << 7 << 6 + 4;
        QTest::newRow("maximum of 1e38 um") << 2.5f << 1e38f << 30 << 7 << 6 + 4;
    }
    void filters()
    {
        QFETCH(float, minSize);
        QFETCH(float, maxSize);
        QFETCH(int, roundness);
        QFETCH(int, level);
        QFETCH(int, expected);
        const SyntheticField field(smallField(7, 400, 300, 6, 2, 4, 3));
        QCOMPARE(field.cellCount(), 10);
        QCOMPARE(int(field.shapes().size()), 6 + 4 + 4 + 3);
        ORBELIN_Vn counter;
        counter.setImage(Tesmora::GFL, field.image());
        analysis_param_t param = yeastParam();
        param.minSize = minSize;
        param.maxSize = maxSize;
        param.roundness = roundness;
        param.declustering = level == 0 ? 0.0f : 0.85f;
        QVERIFY(counter.findObject(param));
        QCOMPARE(int(counter.objects().size()), expected);
    }

    void emptyFields_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<float>("noise");
        QTest::newRow("black") << 0 << 0.0f;
        QTest::newRow("saturated") << 255 << 0.0f;
        QTest::newRow("noise only") << 40 << 6.0f;
    }
    void emptyFields()
    {
        QFETCH(int, value);
        QFETCH(float, noise);
        cv::Mat image(480, 640, CV_32F, cv::Scalar(value));
        cv::Mat grain(image.size(), CV_32F);
        cv::randn(grain, 0.0, double(noise));
        cv::Mat field;
        cv::Mat(image + grain).convertTo(field, CV_8U);
        ORBELIN_Vn counter;
        counter.setImage(Tesmora::GFL, field);
        analysis_param_t param; // built-in protocol: even 0.3 um would count
        QVERIFY(counter.findObject(param));
        QCOMPARE(int(counter.objects().size()), 0);
    }

    void refusesWhatIsNotAGreyImage_data()
    {
        QTest::addColumn<int>("type");
        QTest::newRow("nothing") << -1;
        QTest::newRow("RGB") << int(CV_8UC3);
        QTest::newRow("float") << int(CV_32FC1);
    }
    void refusesWhatIsNotAGreyImage()
    {
        QFETCH(int, type);
        ORBELIN_Vn counter;
        if (type >= 0)
            counter.setImage(Tesmora::GFL, cv::Mat(48, 64, type, cv::Scalar::all(10)));
        QVERIFY(!counter.findObject(analysis_param_t()));
        int count = -1;
        float mantissa = -1, meanSize = -1, sizeSum = -1;
        int exponent = -1;
        counter.result(count, mantissa, exponent, meanSize, sizeSum);
        QCOMPARE(count, 0);
        QCOMPARE(meanSize, 0.0f);
        QVERIFY(counter.image(Tesmora::TAG).empty());
    }

    void resultAndTagImage()
    {
        const SyntheticField field(smallField(3, 320, 240, 5, 0, 0, 0));
        ORBELIN_Vn counter;
        counter.setImage(Tesmora::GFL, field.image());
        counter.setVolumeFactor(1.728e-5f);
        counter.setDilutionFactor(4);
        QVERIFY(counter.findObject(yeastParam()));
        int count = 0;
        float mantissa = 0, meanSize = 0, sizeSum = 0;
        int exponent = 0;
        counter.result(count, mantissa, exponent, meanSize, sizeSum);
        QCOMPARE(count, 5);
        // 5 / 1.728e-5 mL x 4 = 1157407 cells/mL.
        QCOMPARE(exponent, 6);
        QCOMPARE(mantissa, 1.16f);
        double sum = 0;
        for (const object_t &object : counter.objects())
            sum += object.size;
        QVERIFY(std::fabs(sizeSum - sum) < 1e-3);
        QVERIFY(std::fabs(meanSize - sum / 5) < 1e-3);

        const cv::Mat tag = counter.image(Tesmora::TAG);
        QCOMPARE(tag.type(), CV_8UC3);
        QCOMPARE(tag.cols, 320);
        const cv::Point onOutline = counter.objects().front().contour.front();
        const cv::Vec3b colour = tag.at<cv::Vec3b>(onOutline);
        QVERIFY2(colour[1] > 200 && colour[0] < 100 && colour[2] < 100, "outline not green");
        const cv::Mat binary = counter.image(Tesmora::GFL_BINARY);
        QCOMPARE(binary.size(), field.image().size());
        QVERIFY(cv::countNonZero(binary) > 0);
    }

    void coreGeometry_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<float>("roundness");
        QTest::newRow("one pixel") << 1 << 1 << 100.0f;
        QTest::newRow("two pixels") << 2 << 1 << 50.0f;
        QTest::newRow("square") << 6 << 6 << 100.0f;
        QTest::newRow("bar 4 to 1") << 20 << 5 << 25.0f;
    }
    void coreGeometry()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(float, roundness);
        // Central moments of a width x height block of unit pixels.
        const double mu20 = (double(width) * width - 1) / 12.0;
        const double mu02 = (double(height) * height - 1) / 12.0;
        QVERIFY(std::fabs(Tesmora::Core::roundness(mu20, mu02, 0.0) - roundness) < 0.01f);
        QVERIFY(std::fabs(Tesmora::Core::roundness(mu02, mu20, 0.0) - roundness) < 0.01f);
    }

    void copiesKeepTheirOwnPixels()
    {
        ORBELIN_Vn a;
        a.setImage(Tesmora::GFL, cv::Mat(4, 4, CV_8U, cv::Scalar(7)));
        ORBELIN_Vn b = a;
        b.image(Tesmora::GFL).setTo(9);
        QCOMPARE(int(a.image(Tesmora::GFL).at<uchar>(0, 0)), 7);
        QCOMPARE(a.pixelSize(), 0.375f);
    }
};

QTEST_GUILESS_MAIN(ORBELIN_VnTest)
#include "tst_ORBELIN_Vn.moc"
