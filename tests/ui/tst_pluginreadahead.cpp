// Reading QML plugins ahead: the worker loads the plugin each module's qmldir
// names, and passes over modules that have none or are not installed.
#include "PluginReadAhead.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QTest>

#include <dlfcn.h>

using namespace Qt::StringLiterals;

namespace {

bool loaded(const QString &file)
{
    void *handle = dlopen(QFile::encodeName(file).constData(), RTLD_LAZY | RTLD_NOLOAD);
    if (handle)
        dlclose(handle);
    return handle;
}

} // namespace

class TestPluginReadAhead : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void loadsWhatTheImportsWillNeed()
    {
        const QString templates = PluginReadAhead::pluginOf(u"QtQuick.Templates"_s);
        QVERIFY(QFile::exists(templates));
        QVERIFY(!loaded(templates));
        QVERIFY(PluginReadAhead::pluginOf(u"No.Such.Module"_s).isEmpty());
        { PluginReadAhead ahead({u"No.Such.Module"_s, u"QtQuick.Templates"_s}); }
        QVERIFY(loaded(templates));

        // The import then finds the plugin in memory and works as usual.
        QQmlEngine engine;
        QQmlComponent component(&engine);
        component.setData("import QtQuick.Templates as T\nT.Button { text: \"Go\" }", QUrl());
        std::unique_ptr<QObject> button(component.create());
        QVERIFY2(button, qPrintable(component.errorString()));
        QCOMPARE(button->property("text").toString(), u"Go"_s);
    }
};

QTEST_MAIN(TestPluginReadAhead)
#include "tst_pluginreadahead.moc"
