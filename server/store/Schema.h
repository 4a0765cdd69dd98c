#pragma once

#include <QList>
#include <QStringList>

// The database schema as a list of migrations; migration N (counting from 1)
// is the list at index N-1 and is applied once, in order. Never edit a
// released step: add a new one. "{pk}" becomes the backend's auto-numbered
// primary key. Instants are milliseconds since 1970 UTC; flags are 0 or 1.
namespace Schema {
QList<QStringList> migrations();
}
