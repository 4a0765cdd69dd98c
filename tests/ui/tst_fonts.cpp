// Reading the fonts ahead on a worker: the worker ends whether or not the
// database was asked for, and text laid out while it reads gets the fonts
// it names.
#include "FontReadAhead.h"
#include "UiSetup.h"

#include <QFont>
#include <QFontInfo>
#include <QTest>

class TestFonts : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void endsWhenTheWindowNeverComes()
    {
        // Returns: a worker waiting for a decision that never came would
        // keep the program from exiting.
        FontReadAhead fonts;
    }

    void textMeanwhileGetsTheNamedFont()
    {
        FontReadAhead fonts;
        fonts.readDatabase();
        // Laid out at once, most likely while the worker still reads.
        QFont font;
        font.setFamilies(UiSetup::fontFamilies());
        font.setPixelSize(13);
        QCOMPARE(QFontInfo(font).family(), UiSetup::fontFamilies().first());
    }
};

QTEST_MAIN(TestFonts)
#include "tst_fonts.moc"
