// Holds the launcher's single-instance lock until killed.
#include <unistd.h>

#include <cstdio>

#include "platform/InstanceLock.h"

int main() {
    fl::CInstanceLock lock(fl::kLauncherMutexName);
    if (lock.Acquire(5000) != fl::CInstanceLock::Result::Acquired) return 1;
    std::printf("held\n");
    std::fflush(stdout);
    for (;;) pause();
}
