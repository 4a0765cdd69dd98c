#include "Project.h"

size_t qHash(const Project &project, size_t seed) noexcept
{
    size_t h = qHashMulti(seed, project.id, project.name, project.tasks.size());
    QtPrivate::QHashCombine combine;
    for (const WorkTask &task : project.tasks) {
        h = combine(h, task.id);
        h = combine(h, task.name);
    }
    return h;
}
