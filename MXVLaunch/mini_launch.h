// MiniLaunch, the Launch that the entry uses: the single-instance lock, and the system check, the
// execution directory and the start of the verification utility.
#pragma once

#include <string>

#include "MXVLaunch/launch.h"
#include "platform/host.h"

// The name of the single-instance mutex.
extern const char kInstanceMutexName[];

// Takes the single-instance lock: returns the handle of a newly created mutex of that name, or null
// when another process has it (or creation failed).
platform::Handle AcquireInstanceLock(const std::string& name);

class MiniLaunch : public Launch {
public:
    MiniLaunch();
    ~MiniLaunch() override;

    bool CreateExecutionDirectory() override;
    bool RemoveExecutionDirectory() override;
    bool CheckSystem() override;
    bool StartTool() override;

    // The single-instance mutex; held until the process ends, never closed.
    platform::Handle instanceMutex;
    // True when this process created the mutex.
    bool lockHeld;
};
