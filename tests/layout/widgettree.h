#ifndef WIDGETTREE_H
#define WIDGETTREE_H

#include <QStringList>

class QWidget;

// A text dump of a window's widget tree, one line per object and per setting,
// in creation (stacking) order: class and object name; every designable
// property whose value differs from a new object of the same Qt class; the
// geometry of what no layout places; fonts and palette roles set on the
// widget; a layout's margins, spacing and items; a combo box's items. What
// depends on the clock or on fonts (dates, times, layout-placed geometry,
// rich text) and the insides of Qt's own compound widgets are left out, so
// that the dump is the same on every machine with the same Qt.
QStringList dumpWidgetTree(const QWidget& window);

#endif
