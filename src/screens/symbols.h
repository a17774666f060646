#pragma once

#include <QIcon>
#include <QString>

// The symbol names the screens use ("iphone", "folder.badge.plus", ...) mapped onto the
// system's SF Symbols on macOS and the desktop's icon theme, with Qt's standard icons and
// finally a drawn glyph as fallbacks, so that every control shows an icon even under a bare X
// server. GUI thread only.
namespace Symbols {

QIcon icon(const QString &symbolName);

// Without a desktop session Qt finds no icon theme, and every icon would be the style's; use
// Adwaita (or Breeze) when one is installed. Call once after the application object exists.
void setUpIconTheme();

} // namespace Symbols

class QToolBar;

namespace Symbols {

// Toolbar buttons take no keyboard focus by default; give every button of the bar Tab focus so
// that each command can be reached without a mouse, and name the bar's overflow button.
void makeKeyboardReachable(QToolBar *toolBar);

// The icon theme names tried for a symbol, best first: on macOS the SF Symbol, then the
// freedesktop names.
QStringList themeNames(const QString &symbolName);

} // namespace Symbols
