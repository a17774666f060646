#include "app/contentview.h"
#include "app/devicelistpoller.h"
#include "screens/appsview.h"
#include "screens/simulatordetailview.h"
#include "support/tempfolder.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QListView>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;

namespace {

struct Node
{
    QAccessible::Role role;
    QString name;
    QString description;
    QString object;
};

void collect(QAccessibleInterface *iface, QList<Node> &out, int depth = 0)
{
    if (!iface || depth > 40)
        return;
    const QObject *object = iface->object();
    out.append({iface->role(), iface->text(QAccessible::Name), iface->text(QAccessible::Description),
                object ? QString::fromLatin1(object->metaObject()->className()) + '/' + object->objectName()
                       : QString()});
    for (int i = 0; i < iface->childCount(); ++i)
        collect(iface->child(i), out, depth + 1);
}

bool hasNode(const QList<Node> &nodes, QAccessible::Role role, const QString &name)
{
    return std::any_of(nodes.begin(), nodes.end(),
                       [&](const Node &n) { return n.role == role && n.name == name; });
}

QStringList unnamedControls(const QList<Node> &nodes)
{
    QStringList out;
    for (const Node &n : nodes) {
        const bool control = n.role == QAccessible::PushButton || n.role == QAccessible::CheckBox ||
                             n.role == QAccessible::RadioButton || n.role == QAccessible::Slider ||
                             n.role == QAccessible::ComboBox || n.role == QAccessible::List ||
                             n.role == QAccessible::Table || n.role == QAccessible::Tree;
        if (control && n.name.trimmed().isEmpty())
            out << QString::number(int(n.role), 16) + ' ' + n.object;
    }
    return out;
}

} // namespace

// What a screen reader finds in the main window: the device rows with their state, the
// section picker and every control named.
class TestAccessibility : public QObject
{
    Q_OBJECT

    QTemporaryDir m_settings;

private slots:
    void initTestCase()
    {
        QVERIFY(m_settings.isValid());
        QCoreApplication::setOrganizationName("LanthornTests");
        QCoreApplication::setApplicationName("accessibility");
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settings.path());
        QAccessible::setActive(true);
    }

    void mainWindowTree()
    {
        // One installed app, so that the Apps section shows its list, picker and browser.
        TempFolder home;
        const ScopedEnv homeEnv("HOME", home.path().toUtf8());
        QVERIFY(home.createFile(
            "Library/Developer/CoreSimulator/Devices/A-1/data/Containers/Bundle/Application/B/"
            "A.app/Info.plist",
            "<plist><dict><key>CFBundleIdentifier</key><string>com.example.a</string></dict></plist>"));
        const QList<Simulator> devices = {{"A-1", "iPhone 15 Pro", "iOS 17.5", true},
                                          {"A-2", "Apple Watch", "watchOS 10.2", false}};
        ContentView window(new DeviceListPoller(
            [devices](StopToken) { return Result<QList<Simulator>>::success(devices); }, 50ms));
        window.resize(1000, 700);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTRY_COMPARE(window.simulators().size(), 2);

        QList<Node> nodes;
        collect(QAccessible::queryAccessibleInterface(&window), nodes);
        QVERIFY(hasNode(nodes, QAccessible::List, "Simulators"));
        const auto row = std::find_if(nodes.begin(), nodes.end(), [](const Node &n) {
            return n.role == QAccessible::ListItem && n.name.startsWith("iPhone 15 Pro");
        });
        QVERIFY2(row != nodes.end(), "the device row is not exposed");
        QVERIFY2(row->name.contains("iOS 17.5") && row->name.contains("Booted"), qPrintable(row->name));
        QVERIFY(hasNode(nodes, QAccessible::ListItem, "Apple Watch, watchOS 10.2, Shutdown"));
        QVERIFY2(unnamedControls(nodes).isEmpty(), qPrintable(unnamedControls(nodes).join(',')));

        // With a device selected: the section picker and the pane's controls.
        const QModelIndex first = window.sidebar()->model()->index(0, 0);
        QTest::mouseClick(window.sidebar()->viewport(), Qt::LeftButton, {},
                          window.sidebar()->visualRect(first).center());
        QTRY_VERIFY(qobject_cast<SimulatorDetailView *>(window.detailView()));
        for (auto section : SimulatorDetailView::allSections()) {
            qobject_cast<SimulatorDetailView *>(window.detailView())->sectionButton(section)->click();
            QTest::qWait(0);
            if (section == SimulatorDetailView::Section::Apps)
                QTRY_VERIFY(qobject_cast<SimulatorDetailView *>(window.detailView())->appsView()->browser());
            nodes.clear();
            collect(QAccessible::queryAccessibleInterface(&window), nodes);
            QVERIFY(hasNode(nodes, QAccessible::RadioButton, "Files") ||
                    hasNode(nodes, QAccessible::PushButton, "Files") ||
                    hasNode(nodes, QAccessible::CheckBox, "Files"));
            QVERIFY(hasNode(nodes, QAccessible::RadioButton, "Photos") ||
                    hasNode(nodes, QAccessible::PushButton, "Photos") ||
                    hasNode(nodes, QAccessible::CheckBox, "Photos"));
            QVERIFY2(unnamedControls(nodes).isEmpty(), qPrintable(unnamedControls(nodes).join(',')));
            // Every visible button of the section can be reached with Tab.
            for (QAbstractButton *button : window.findChildren<QAbstractButton *>())
                if (button->isVisible())
                    QVERIFY2(button->focusPolicy() & Qt::TabFocus,
                             qPrintable(button->text() + button->accessibleName()));
            // The overflow button shows once the bar is too narrow: named, and reachable too.
            const auto overflowButtons = window.findChildren<QAbstractButton *>("qt_toolbar_ext_button");
            QVERIFY(!overflowButtons.isEmpty());
            for (QAbstractButton *more : overflowButtons) {
                QVERIFY(!QAccessible::queryAccessibleInterface(more)->text(QAccessible::Name).isEmpty());
                QVERIFY(more->focusPolicy() & Qt::TabFocus);
            }
            if (section == SimulatorDetailView::Section::Photos) {
                QVERIFY(hasNode(nodes, QAccessible::PushButton, QString::fromUtf8("Add Media\u2026")));
                QVERIFY(hasNode(nodes, QAccessible::PushButton, "Clear List"));
            }
        }
        QVERIFY(hasNode(nodes, QAccessible::List, "Apps"));
        // Qt names a combo box by its current item; the "Container:" label is its buddy.
        QVERIFY(hasNode(nodes, QAccessible::ComboBox, "Data"));
    }
};

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
