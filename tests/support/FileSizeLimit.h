#pragma once

#include <sys/resource.h>

// A full disk, as root sees it too: while this lives, files of this process
// (and of programs it starts) may not grow past `bytes`, and a write beyond
// fails with EFBIG instead of raising SIGXFSZ. The old limit comes back when
// it goes, also when a check fails in between.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;
    bool active() const { return m_active; }

private:
    struct rlimit m_old {};
    bool m_active = false;
};
