#pragma once

class QMainWindow;

// Gives the window its menu bar: About (in the application menu on macOS, under Help
// elsewhere), File and Edit with the Files screen's commands, and Window with Close and
// Minimize. The menus add no commands of their own but About: File shows the shown Files
// screen's actions, Edit the focused file view's FileActions.
// GUI thread only.
void setUpMenuBar(QMainWindow *window);
