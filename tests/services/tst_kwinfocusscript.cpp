// The focus script in a real headless KWin, beside other scripts: KWin 5.27
// numbers a loaded script by how many are loaded, so once one goes, the next
// one loaded gets the number (and the D-Bus object) of one still there.
#include "KWinFocusScript.h"
#include "TestEnv.h"
#include "WaylandDesktop.h"

#include <QFile>
#include <QTest>

using namespace Qt::StringLiterals;

class TestKWinFocusScript : public QObject {
    Q_OBJECT
    std::unique_ptr<WaylandDesktop> m_desktop;

    // Loads a script that stays until unloaded by name.
    bool loadResident(const QString &name)
    {
        const QString file = m_desktop->environment().value(u"XDG_RUNTIME_DIR"_s) + u'/' + name + u".js"_s;
        QFile script(file);
        if (!script.open(QIODevice::WriteOnly) || script.write("workspace.clientList();\n") < 0)
            return false;
        script.close();
        const std::optional<QString> id = m_desktop->call(u"org.kde.KWin"_s, u"/Scripting"_s,
                                                          u"org.kde.kwin.Scripting.loadScript"_s, {file, name});
        return id && !id->contains(u'-');
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_desktop = std::make_unique<WaylandDesktop>(WaylandDesktop::Shell::KWin);
        if (!m_desktop->isRunning())
            QSKIP(qPrintable(m_desktop->failure()));
        m_desktop->enter();
    }

    void cleanupTestCase() { m_desktop.reset(); }

    void runsBesideOtherScripts()
    {
        // One left behind by a program that crashed, loaded first, and
        // another program's script after it.
        QVERIFY(loadResident(QString::fromLatin1(KWinFocusScript::pluginName)));
        QVERIFY(loadResident(u"zimbrel-test-neighbour"_s));
        QVERIFY(m_desktop->call(u"org.kde.KWin"_s, u"/Scripting"_s, u"org.kde.kwin.Scripting.start"_s));

        // Ours replaces the left-behind one, which puts it on the number of
        // the neighbour; it still runs and reports the focus.
        KWinFocusScript focus;
        QVERIFY(TestEnv::waitFor([&] { return focus.live(); }, 10000));

        // And a script loaded while ours is there runs too.
        const std::optional<QStringList> lines = m_desktop->runKWinScript(u"report(\"ran\");"_s);
        QVERIFY(lines);
        QCOMPARE(*lines, QStringList{u"ran"_s});
        QVERIFY(focus.live());
    }
};

QTEST_GUILESS_MAIN(TestKWinFocusScript)
#include "tst_kwinfocusscript.moc"
