#include "FileSizeLimit.h"

#include <csignal>

FileSizeLimit::FileSizeLimit(rlim_t bytes)
{
    ::signal(SIGXFSZ, SIG_IGN);
    if (::getrlimit(RLIMIT_FSIZE, &m_old) != 0)
        return;
    struct rlimit tiny = m_old;
    tiny.rlim_cur = bytes;
    m_active = ::setrlimit(RLIMIT_FSIZE, &tiny) == 0;
}

FileSizeLimit::~FileSizeLimit()
{
    if (m_active)
        ::setrlimit(RLIMIT_FSIZE, &m_old);
}
