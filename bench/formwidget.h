#ifndef FORMWIDGET_H
#define FORMWIDGET_H

#include <QObject>
#include <QString>

// A widget of a form's tree by its object name; null when there is none.
template <typename T>
T* formWidget(const QObject& form, const char* name)
{
    return form.findChild<T*>(QLatin1String(name));
}

#endif
