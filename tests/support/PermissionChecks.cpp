#include "PermissionChecks.h"

#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace PermissionChecks {

namespace {
constexpr unsigned overrides = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);

bool setEffective(bool on)
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (::syscall(SYS_capget, &header, data) != 0)
        return false;
    if (on)
        data[0].effective |= overrides & data[0].permitted;
    else
        data[0].effective &= ~overrides;
    return ::syscall(SYS_capset, &header, data) == 0;
}
} // namespace

Enforced::Enforced()
    : m_dropped(setEffective(false))
{
}

Enforced::~Enforced()
{
    if (m_dropped)
        setEffective(true);
}

void dropInChild()
{
    ::prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0);
    ::prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH, 0, 0, 0);
}

} // namespace PermissionChecks
