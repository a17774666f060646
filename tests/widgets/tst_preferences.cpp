#include "screens/preferences.h"
#include "support/settingssandbox.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <limits>

using namespace Qt::StringLiterals;

// The stored preferences at their lowest level; the screens' tests show them shared and kept.
class TestPreferences : public QObject
{
    Q_OBJECT

    SettingsSandbox m_settings{"tst_preferences"};

private slots:
    void initTestCase() { QVERIFY(m_settings.isValid()); }
    void init() { m_settings.clear(); }

    void iconSizeReadsSafely_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<double>("read");
        QTest::newRow("absent") << QVariant() << 64.0;
        QTest::newRow("number") << QVariant(128.5) << 128.5;
        QTest::newRow("infinite") << QVariant(std::numeric_limits<double>::infinity()) << 64.0;
        QTest::newRow("nan") << QVariant(u"nan"_s) << 64.0;
    }
    void iconSizeReadsSafely()
    {
        QFETCH(QVariant, stored);
        QFETCH(double, read);
        if (stored.isValid())
            QSettings().setValue(u"iconSize"_s, stored);
        QCOMPARE(Preferences::shared().iconSize(), read);
    }

    // Only real changes are signalled; every setting is written through, the default too.
    void settersStoreAndSignalRealChangesOnly()
    {
        Preferences &preferences = Preferences::shared();
        QSignalSpy sections(&preferences, &Preferences::detailSectionChanged);
        QSignalSpy modes(&preferences, &Preferences::viewModeChanged);
        QSignalSpy sizes(&preferences, &Preferences::iconSizeChanged);
        preferences.setDetailSection(u"Photos"_s);
        preferences.setDetailSection(u"Photos"_s);
        preferences.setIconSize(96);
        preferences.setIconSize(96);
        preferences.setIconSize(std::numeric_limits<double>::quiet_NaN());
        QCOMPARE(sections.size(), 1);
        QCOMPARE(sizes.size(), 1);
        QCOMPARE(QSettings().value(u"iconSize"_s).toDouble(), 96.0);

        QVERIFY(!QSettings().contains(u"viewMode"_s));
        preferences.setViewMode(u"list"_s);
        QCOMPARE(modes.size(), 0);
        QCOMPARE(QSettings().value(u"viewMode"_s).toString(), u"list"_s);
    }
};

QTEST_GUILESS_MAIN(TestPreferences)
#include "tst_preferences.moc"
