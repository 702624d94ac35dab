#pragma once

#include <QObject>

// A named child that a test cannot do without; a missing one ends the test
// run with its name rather than a null pointer crash later.
template<typename T>
T *requireChild(const QObject *parent, const char *name)
{
    T *child = parent->findChild<T *>(QLatin1String(name));
    if (!child)
        qFatal("no child named %s", name);
    return child;
}
