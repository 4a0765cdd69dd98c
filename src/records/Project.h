#pragma once

#include "WorkTask.h"

#include <QList>
#include <QString>

// A project the member may track time on, with its tasks in server order.
struct Project {
    QString id;   // server identifier, or a synthesised "project-P"
    QString name;
    QList<WorkTask> tasks;

    bool operator==(const Project &) const = default;
};

// id, name, the number of tasks, then each task's id and name.
size_t qHash(const Project &project, size_t seed = 0) noexcept;
