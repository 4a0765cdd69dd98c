#include "DemoWorkspace.h"

namespace DemoWorkspace {

namespace {
Project project(const char *id, const char *name, std::initializer_list<std::pair<const char *, const char *>> tasks)
{
    Project p;
    p.id = QString::fromUtf8(id);
    p.name = QString::fromUtf8(name);
    for (const auto &[taskID, taskName] : tasks)
        p.tasks.append(WorkTask{QString::fromUtf8(taskID), QString::fromUtf8(taskName)});
    return p;
}
} // namespace

QList<Project> projects()
{
    return {
        project("1", "Client Portal Rebuild",
                {{"11", "Design system"}, {"12", "Billing screens"}, {"13", "Regression pass"}, {"14", "Planning"}}),
        project("2", "Mobile App v2", {{"21", "Offline sync"}, {"22", "Client review"}, {"23", "Push notifications"}}),
        project("3", "Internal Tooling", {{"31", "CI pipeline"}, {"32", "Runbooks"}}),
        project("4", "General meeting", {{"41", "Other work"}}),
    };
}

TodayStats stats()
{
    TodayStats s;
    s.tracked = QStringLiteral("5h 42m");
    s.meeting = QStringLiteral("48m");
    s.productive = QStringLiteral("4h 51m");
    s.manual = QStringLiteral("12m");
    s.productivePercent = 85;
    s.start = QStringLiteral("09:04 AM");
    s.end = QStringLiteral("03:12 PM");
    s.todaySeconds = 20520;
    s.weekSeconds = 96300;
    return s;
}

} // namespace DemoWorkspace
