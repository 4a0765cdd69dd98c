// Reading the fonts ahead on a worker: text laid out while the worker reads
// waits for it and gets the fonts it names.
#include "FontReadAhead.h"
#include "UiSetup.h"

#include <QFont>
#include <QFontInfo>
#include <QTest>

class TestFonts : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void textMeanwhileGetsTheNamedFont()
    {
        FontReadAhead fonts;
        // Laid out at once, most likely while the worker still reads.
        QFont font;
        font.setFamilies(UiSetup::fontFamilies());
        font.setPixelSize(13);
        QCOMPARE(QFontInfo(font).family(), UiSetup::fontFamilies().first());
    }
};

QTEST_MAIN(TestFonts)
#include "tst_fonts.moc"
