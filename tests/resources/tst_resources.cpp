// The compiled-in resource tree: both files present under their paths, stored
// as intended, and the icon a well-formed Windows icon file with its four images.
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QResource>
#include <QSet>
#include <QSize>
#include <QtEndian>
#include <QtTest>

namespace {

const QString iconPath = QStringLiteral(":/ico/resources/windows.ico");
const QString helpPath = QStringLiteral(":/text/resources/help.pdf");

QByteArray readResource(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

quint16 u16(const QByteArray &data, int at)
{
    return qFromLittleEndian<quint16>(data.constData() + at);
}

quint32 u32(const QByteArray &data, int at)
{
    return qFromLittleEndian<quint32>(data.constData() + at);
}

struct IconEntry
{
    int width;
    int height;
    int bitCount;
    QByteArray image; // the entry's bytes: a BMP without file header, or a PNG
};

// Reads the ICONDIR and its ICONDIRENTRY records; fails the test on any
// structural fault.
bool parseIcon(const QByteArray &data, QVector<IconEntry> *entries)
{
    if (data.size() < 6)
        return false;
    if (u16(data, 0) != 0 || u16(data, 2) != 1)
        return false;
    const int count = u16(data, 4);
    if (data.size() < 6 + 16 * count)
        return false;
    for (int i = 0; i < count; ++i) {
        const int at = 6 + 16 * i;
        IconEntry entry;
        entry.width = quint8(data.at(at)) == 0 ? 256 : quint8(data.at(at));
        entry.height = quint8(data.at(at + 1)) == 0 ? 256 : quint8(data.at(at + 1));
        entry.bitCount = u16(data, at + 6);
        const quint32 length = u32(data, at + 8);
        const quint32 offset = u32(data, at + 12);
        if (offset < quint32(6 + 16 * count) || quint64(offset) + length > quint64(data.size()))
            return false;
        entry.image = data.mid(int(offset), int(length));
        entries->append(entry);
    }
    return true;
}

const QByteArray pngSignature("\x89PNG\r\n\x1a\n", 8);

} // namespace

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void present_data();
    void present();
    void storage_data();
    void storage();
    void iconDirectory();
    void iconDecodes();
    void helpIsPdf();
};

void TestResources::present_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("icon") << iconPath;
    QTest::newRow("help") << helpPath;
}

void TestResources::present()
{
    QFETCH(QString, path);
    QVERIFY2(QFile::exists(path), qPrintable(path));
    const QResource resource(path);
    QVERIFY(resource.isValid());
    QVERIFY(QFileInfo(path).isFile());
    QVERIFY(resource.size() > 0);
    QVERIFY(!readResource(path).isEmpty());
}

void TestResources::storage_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("compressed");
    QTest::newRow("icon, zlib") << iconPath << true;
    QTest::newRow("help, as it is") << helpPath << false;
}

void TestResources::storage()
{
    QFETCH(QString, path);
    QFETCH(bool, compressed);
    const QResource resource(path);
    QVERIFY(resource.isValid());
#if QT_VERSION >= QT_VERSION_CHECK(5, 13, 0)
    QCOMPARE(resource.compressionAlgorithm(),
             compressed ? QResource::ZlibCompression : QResource::NoCompression);
#else
    QCOMPARE(resource.isCompressed(), compressed);
#endif
    const QByteArray content = readResource(path);
    if (compressed) {
        // The stored bytes are smaller than what the file reads back as.
        QVERIFY(resource.size() < content.size());
    } else {
        QCOMPARE(resource.size(), qint64(content.size()));
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(resource.data()), int(resource.size())),
                 content);
    }
}

void TestResources::iconDirectory()
{
    const QByteArray data = readResource(iconPath);
    QVector<IconEntry> entries;
    QVERIFY(parseIcon(data, &entries));
    QCOMPARE(entries.size(), 4);

    QSet<int> sizes;
    for (const IconEntry &entry : qAsConst(entries)) {
        QCOMPARE(entry.height, entry.width);
        sizes.insert(entry.width);
        if (entry.width == 256) {
            QCOMPARE(entry.bitCount, 32);
            // PNG inside: IHDR with 8 bits per sample, colour type 6 (RGBA).
            QVERIFY(entry.image.startsWith(pngSignature));
            QVERIFY(entry.image.size() > 33);
            QCOMPARE(entry.image.mid(12, 4), QByteArray("IHDR"));
            QCOMPARE(qFromBigEndian<quint32>(entry.image.constData() + 16), 256u);
            QCOMPARE(qFromBigEndian<quint32>(entry.image.constData() + 20), 256u);
            QCOMPARE(int(entry.image.at(24)), 8);
            QCOMPARE(int(entry.image.at(25)), 6);
            continue;
        }
        QCOMPARE(entry.bitCount, 8);
        // BITMAPINFOHEADER, double height for the mask, 8 bits, uncompressed,
        // a palette of 256 colours, then the pixels and the 1-bit mask.
        const QByteArray &dib = entry.image;
        QVERIFY(!dib.startsWith(pngSignature));
        QVERIFY(dib.size() >= 40);
        QCOMPARE(u32(dib, 0), 40u);
        QCOMPARE(qint32(u32(dib, 4)), entry.width);
        QCOMPARE(qint32(u32(dib, 8)), 2 * entry.height);
        QCOMPARE(u16(dib, 12), quint16(1));
        QCOMPARE(u16(dib, 14), quint16(8));
        QCOMPARE(u32(dib, 16), 0u);
        const quint32 colours = u32(dib, 32) == 0 ? 256 : u32(dib, 32);
        QCOMPARE(colours, 256u);
        const int pixelRow = (entry.width + 3) / 4 * 4;
        const int maskRow = (entry.width + 31) / 32 * 4;
        QCOMPARE(dib.size(), 40 + 4 * 256 + (pixelRow + maskRow) * entry.height);
    }
    QCOMPARE(sizes, (QSet<int>{16, 32, 48, 256}));
}

void TestResources::iconDecodes()
{
    QImageReader reader(iconPath);
    QVERIFY2(reader.canRead(), qPrintable(reader.errorString()));
    QCOMPARE(reader.imageCount(), 4);

    QSet<int> sizes;
    for (int i = 0; i < reader.imageCount(); ++i) {
        QVERIFY(reader.jumpToImage(i));
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
        QCOMPARE(image.width(), image.height());
        sizes.insert(image.width());
        // The corners are outside the rounded body: the mask (or the PNG's
        // alpha) must make them transparent, while the middle is drawn.
        const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(qAlpha(argb.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(argb.pixel(argb.width() - 1, argb.height() - 1)), 0);
        QCOMPARE(qAlpha(argb.pixel(argb.width() / 2, argb.height() / 2)), 255);
    }
    QCOMPARE(sizes, (QSet<int>{16, 32, 48, 256}));

    const QIcon icon(iconPath);
    QVERIFY(!icon.isNull());
    const QList<QSize> available = icon.availableSizes();
    for (int side : {16, 32, 48, 256})
        QVERIFY2(available.contains(QSize(side, side)), qPrintable(QString::number(side)));
}

void TestResources::helpIsPdf()
{
    const QByteArray pdf = readResource(helpPath);
    QVERIFY(pdf.startsWith("%PDF-"));
    // A complete file ends with its end-of-file marker (and perhaps a line end).
    QVERIFY(pdf.right(32).contains("%%EOF"));
    QVERIFY(pdf.contains("/Type /Page") || pdf.contains("/Type/Page"));
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
