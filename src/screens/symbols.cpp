#include "symbols.h"

#include <QApplication>
#include <QFileInfo>
#include <QHash>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>

namespace Symbols {

namespace {

struct Mapping
{
    QStringList themeNames;
    QStyle::StandardPixmap fallback;
    // The SF Symbol when it is not the symbol's own name (or that name is newer than macOS 14).
    QString sfSymbol = {};
};

const QHash<QString, Mapping> &table()
{
    static const QHash<QString, Mapping> mappings = {
        {QStringLiteral("iphone"),
         {{QStringLiteral("phone"), QStringLiteral("smartphone"), QStringLiteral("multimedia-player")},
          QStyle::SP_ComputerIcon}},
        {QStringLiteral("photo.on.rectangle.angled"),
         {{QStringLiteral("image-x-generic"), QStringLiteral("folder-pictures")}, QStyle::SP_FileIcon}},
        {QStringLiteral("checkmark.circle"),
         {{QStringLiteral("emblem-ok-symbolic"), QStringLiteral("emblem-default"),
           QStringLiteral("object-select-symbolic")},
          QStyle::SP_DialogApplyButton}},
        {QStringLiteral("plus"),
         {{QStringLiteral("list-add"), QStringLiteral("list-add-symbolic")}, QStyle::SP_FileDialogNewFolder}},
        {QStringLiteral("xmark.circle"),
         {{QStringLiteral("edit-clear"), QStringLiteral("edit-clear-all-symbolic")},
          QStyle::SP_DialogResetButton}},
        {QStringLiteral("square.grid.2x2"),
         {{QStringLiteral("view-list-icons"), QStringLiteral("view-grid"),
           QStringLiteral("view-grid-symbolic"), QStringLiteral("view-app-grid-symbolic")},
          QStyle::SP_FileDialogContentsView}},
        {QStringLiteral("list.bullet"),
         {{QStringLiteral("view-list-details"), QStringLiteral("view-list"),
           QStringLiteral("view-list-symbolic"), QStringLiteral("view-list-bullet-symbolic")},
          QStyle::SP_FileDialogDetailedView}},
        {QStringLiteral("rectangle.split.3x1"),
         {{QStringLiteral("view-file-columns"), QStringLiteral("view-column"),
           QStringLiteral("view-dual-symbolic"), QStringLiteral("view-paged-symbolic")},
          QStyle::SP_FileDialogListView}},
        {QStringLiteral("chevron.up"),
         {{QStringLiteral("go-up"), QStringLiteral("go-up-symbolic")}, QStyle::SP_FileDialogToParent}},
        {QStringLiteral("arrow.clockwise"),
         {{QStringLiteral("view-refresh"), QStringLiteral("view-refresh-symbolic")},
          QStyle::SP_BrowserReload}},
        {QStringLiteral("folder.badge.plus"),
         {{QStringLiteral("folder-new"), QStringLiteral("folder-new-symbolic")},
          QStyle::SP_FileDialogNewFolder}},
        {QStringLiteral("trash"),
         {{QStringLiteral("user-trash"), QStringLiteral("user-trash-symbolic")}, QStyle::SP_TrashIcon}},
        {QStringLiteral("eye"),
         {{QStringLiteral("document-preview"), QStringLiteral("view-preview")},
          QStyle::SP_FileDialogInfoView}},
        {QStringLiteral("folder"),
         {{QStringLiteral("folder"), QStringLiteral("folder-open")}, QStyle::SP_DirIcon}},
        {QStringLiteral("terminal"),
         {{QStringLiteral("utilities-terminal"), QStringLiteral("utilities-terminal-symbolic")},
          QStyle::SP_ComputerIcon}},
        {QStringLiteral("document.on.document"),
         {{QStringLiteral("edit-copy"), QStringLiteral("edit-copy-symbolic")},
          QStyle::SP_FileIcon,
          QStringLiteral("doc.on.doc")}},
        {QStringLiteral("folder.badge.questionmark"),
         {{QStringLiteral("folder-saved-search"), QStringLiteral("dialog-question"),
           QStringLiteral("folder")},
          QStyle::SP_MessageBoxQuestion}},
        {QStringLiteral("app"),
         {{QStringLiteral("application-x-executable"), QStringLiteral("application-x-executable-symbolic"),
           QStringLiteral("applications-other")},
          QStyle::SP_DesktopIcon}},
        {QStringLiteral("square.stack.3d.up"),
         {{QStringLiteral("folder-remote"), QStringLiteral("folder-publicshare"), QStringLiteral("folder")},
          QStyle::SP_DirLinkIcon}},
        {QStringLiteral("app.dashed"),
         {{QStringLiteral("applications-other"), QStringLiteral("application-x-executable")},
          QStyle::SP_DesktopIcon}},
        {QStringLiteral("square.and.arrow.down"),
         {{QStringLiteral("document-save"), QStringLiteral("go-down"), QStringLiteral("folder-download")},
          QStyle::SP_ArrowDown}},
    };
    return mappings;
}

// Last resort when neither the theme nor the style has anything: a plain rounded square, so
// a control never shows as an empty button.
QIcon drawnGlyph()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QApplication::palette().color(QPalette::WindowText), 2));
    painter.drawRoundedRect(QRectF(5, 5, 22, 22), 5, 5);
    return QIcon(pixmap);
}

} // namespace

void setUpIconTheme()
{
    const QStringList preferred = {QStringLiteral("Adwaita"), QStringLiteral("breeze"),
                                   QStringLiteral("Papirus")};
    auto installed = [](const QString &theme) {
        for (const QString &root : QIcon::themeSearchPaths())
            if (QFileInfo::exists(root + QLatin1Char('/') + theme + QStringLiteral("/index.theme")))
                return true;
        return false;
    };
    const QString current = QIcon::themeName();
    if (current.isEmpty() || current == QLatin1String("hicolor")) {
        for (const QString &theme : preferred)
            if (installed(theme)) {
                QIcon::setThemeName(theme);
                break;
            }
    }
    if (QIcon::fallbackThemeName().isEmpty() || QIcon::fallbackThemeName() == QLatin1String("hicolor"))
        for (const QString &theme : preferred)
            if (theme != QIcon::themeName() && installed(theme)) {
                QIcon::setFallbackThemeName(theme);
                break;
            }
}

void makeKeyboardReachable(QToolBar *toolBar)
{
    for (QToolButton *button : toolBar->findChildren<QToolButton *>()) {
        button->setFocusPolicy(Qt::TabFocus);
        // Qt's own button for the commands that do not fit has no name for screen readers.
        if (button->objectName() == QLatin1String("qt_toolbar_ext_button") &&
            button->accessibleName().isEmpty())
            button->setAccessibleName(QCoreApplication::translate("Symbols", "More Commands"));
    }
}

QStringList themeNames(const QString &symbolName)
{
    const auto it = table().constFind(symbolName);
    if (it == table().constEnd())
        return {};
#if defined(Q_OS_DARWIN) && QT_VERSION >= QT_VERSION_CHECK(6, 7, 0)
    // Qt draws SF Symbols for theme names it does not know; they match the system's look.
    return QStringList{it->sfSymbol.isEmpty() ? symbolName : it->sfSymbol} + it->themeNames;
#else
    return it->themeNames;
#endif
}

QIcon icon(const QString &symbolName)
{
    static QHash<QString, QIcon> cache;
    if (const auto it = cache.constFind(symbolName); it != cache.constEnd())
        return *it;

    QIcon result;
    const auto it = table().constFind(symbolName);
    if (it != table().constEnd()) {
        for (const QString &name : themeNames(symbolName)) {
            result = QIcon::fromTheme(name);
            if (!result.isNull())
                break;
        }
        if (result.isNull())
            result = QApplication::style()->standardIcon(it->fallback);
    }
    if (result.isNull())
        result = drawnGlyph();
    cache.insert(symbolName, result);
    return result;
}

} // namespace Symbols
