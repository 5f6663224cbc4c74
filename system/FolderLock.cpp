// What a folder's lock does alike on every system, beside the locking each
// system does its own way (system/posix/FolderLock.cpp,
// system/windows/FolderLock.cpp).

#include "system/FolderLock.h"

#include <chrono>
#include <thread>

namespace deptest {

void FolderLock::pause() { std::this_thread::sleep_for(std::chrono::milliseconds(100)); }

} // namespace deptest
