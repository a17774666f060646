#include "screens/preferences.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

using namespace Qt::StringLiterals;

class TestPreferences : public QObject
{
    Q_OBJECT

    QTemporaryDir m_settingsDir;

private slots:
    void initTestCase()
    {
        QVERIFY2(m_settingsDir.isValid(), qPrintable(m_settingsDir.errorString()));
        QCoreApplication::setOrganizationName(u"LanthornTests"_s);
        QCoreApplication::setApplicationName(u"tst_preferences"_s);
        QSettings::setDefaultFormat(QSettings::IniFormat);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settingsDir.path());
    }

    void init()
    {
        QSettings settings;
        settings.clear();
        settings.sync();
    }

    void absentKeysReadAsDefaults()
    {
        const Preferences &preferences = Preferences::shared();
        QCOMPARE(preferences.detailSection(), u"Files"_s);
        QCOMPARE(preferences.viewMode(), u"list"_s);
        QCOMPARE(preferences.iconSize(), 64.0);
    }

    void storedValuesAreReadBack()
    {
        {
            QSettings settings;
            settings.setValue(u"detailSection"_s, u"Photos"_s);
            settings.setValue(u"viewMode"_s, u"columns"_s);
            settings.setValue(u"iconSize"_s, 128.5);
        }
        QCOMPARE(Preferences::shared().detailSection(), u"Photos"_s);
        QCOMPARE(Preferences::shared().viewMode(), u"columns"_s);
        QCOMPARE(Preferences::shared().iconSize(), 128.5);
    }

    void iconSizeThatIsNoNumberReadsAsDefault_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::newRow("text") << QVariant(u"large"_s);
        QTest::newRow("empty") << QVariant(QString());
        QTest::newRow("infinite") << QVariant(std::numeric_limits<double>::infinity());
        QTest::newRow("nan") << QVariant(u"nan"_s);
    }

    void iconSizeThatIsNoNumberReadsAsDefault()
    {
        QFETCH(QVariant, stored);
        QSettings().setValue(u"iconSize"_s, stored);
        QCOMPARE(Preferences::shared().iconSize(), 64.0);
    }

    void settersStoreAndSignalRealChangesOnly()
    {
        Preferences &preferences = Preferences::shared();
        QSignalSpy sections(&preferences, &Preferences::detailSectionChanged);
        QSignalSpy modes(&preferences, &Preferences::viewModeChanged);
        QSignalSpy sizes(&preferences, &Preferences::iconSizeChanged);

        preferences.setDetailSection(u"Photos"_s);
        preferences.setDetailSection(u"Photos"_s);
        preferences.setViewMode(u"icons"_s);
        preferences.setIconSize(96);
        preferences.setIconSize(96);
        preferences.setIconSize(std::numeric_limits<double>::quiet_NaN());

        QCOMPARE(sections.size(), 1);
        QCOMPARE(sections.first().first().toString(), u"Photos"_s);
        QCOMPARE(modes.size(), 1);
        QCOMPARE(sizes.size(), 1);
        QCOMPARE(sizes.first().first().toDouble(), 96.0);

        // Written through to the store, where a later launch reads them.
        QSettings settings;
        QCOMPARE(settings.value(u"detailSection"_s).toString(), u"Photos"_s);
        QCOMPARE(settings.value(u"viewMode"_s).toString(), u"icons"_s);
        QCOMPARE(settings.value(u"iconSize"_s).toDouble(), 96.0);

        // Setting the default explicitly stores it, without a change to report.
        preferences.setViewMode(u"icons"_s);
        QSettings().remove(u"viewMode"_s);
        preferences.setViewMode(u"list"_s);
        QCOMPARE(modes.size(), 1);
        QVERIFY(QSettings().contains(u"viewMode"_s));
    }
};

QTEST_GUILESS_MAIN(TestPreferences)
#include "tst_preferences.moc"
