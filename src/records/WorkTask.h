#pragma once

#include <QHashFunctions>
#include <QString>

// A task inside a project, as the server lists it.
struct WorkTask {
    QString id;   // server identifier, or a synthesised "task-P-K"
    QString name;

    bool operator==(const WorkTask &) const = default;
};

// id, then name.
size_t qHash(const WorkTask &task, size_t seed = 0) noexcept;
