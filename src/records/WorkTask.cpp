#include "WorkTask.h"

size_t qHash(const WorkTask &task, size_t seed) noexcept
{
    return qHashMulti(seed, task.id, task.name);
}
