#pragma once

class QAbstractItemView;
class QEvent;

// Small rules every item view of the Files screen follows. GUI thread only.
namespace ItemViewRules {

// Whether a view's mouse event must leave its selection alone: a right-button press or release,
// since the menu acts on an item outside the selection without selecting it. For the views'
// selectionCommand().
bool keepsSelection(const QEvent *event);

// Makes a list or table view (with its model set) answer screen readers with its rows as they
// are after a reload, through the one accessible object it keeps for its life.
void keepAccessibleRowsCurrent(QAbstractItemView *view);

} // namespace ItemViewRules
