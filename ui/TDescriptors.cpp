#include "ui/TDescriptors.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

void TDescriptors::KeepStandardStreamsOpen()
{
    for (int nFd = STDIN_FILENO; nFd <= STDERR_FILENO; ++nFd) {
        if (fcntl(nFd, F_GETFD) != -1 || errno != EBADF)
            continue;
        const int nNull = open("/dev/null", O_RDWR);
        if (nNull >= 0 && nNull != nFd) {
            dup2(nNull, nFd);
            close(nNull);
        }
    }
}

void TDescriptors::SpareSome()
{
    rlimit Limit;
    if (getrlimit(RLIMIT_NOFILE, &Limit) != 0 || Limit.rlim_cur >= rlim_t(FEW))
        return;
    Limit.rlim_cur = std::min(Limit.rlim_max, rlim_t(FEW));
    setrlimit(RLIMIT_NOFILE, &Limit);
    if (getrlimit(RLIMIT_NOFILE, &Limit) != 0 || Limit.rlim_cur < rlim_t(FEW))
        setenv("QT_XCB_NO_MITSHM", "1", 1);
}
