#pragma once

// Makes file permissions apply to root too, so a test can make a file that
// exists but cannot be opened (EACCES) whoever runs it. For a normal user
// this does nothing: the mode bits already apply.
namespace PermissionChecks {

// While it lives, this process loses its power to bypass read, write and
// search permissions (CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH); it gets it back
// when it goes.
class Enforced {
public:
    Enforced();
    ~Enforced();
    Enforced(const Enforced &) = delete;
    Enforced &operator=(const Enforced &) = delete;

private:
    bool m_dropped = false;
};

// For a child process (a QProcess child modifier): drops the same powers from
// the bounding set, so the program it runs never has them.
void dropInChild();

} // namespace PermissionChecks
