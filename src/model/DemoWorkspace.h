#pragma once

#include "Project.h"
#include "TodayStats.h"

#include <QList>
#include <QString>

// The fixed persona, projects and day of the demo workspace. Nothing of it is
// ever sent anywhere.
namespace DemoWorkspace {

inline const QString userName = QStringLiteral("Ines Varga");
inline const QString userEmail = QStringLiteral("ines.varga@example.com");
inline const QString userRole = QStringLiteral("Product designer");

QList<Project> projects();
TodayStats stats();

} // namespace DemoWorkspace
