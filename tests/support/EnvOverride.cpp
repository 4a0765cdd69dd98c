#include "EnvOverride.h"

#include <QtGlobal>

EnvOverride::EnvOverride(const char *name, const QByteArray &value)
    : m_name(name)
    , m_saved(qgetenv(name))
    , m_wasSet(qEnvironmentVariableIsSet(name))
{
    if (value.isNull())
        qunsetenv(name);
    else
        qputenv(name, value);
}

EnvOverride::~EnvOverride()
{
    if (m_wasSet)
        qputenv(m_name, m_saved);
    else
        qunsetenv(m_name);
}
