// Construction and destruction of the Launch base object.
#include "MXVLaunch/launch.h"

Launch::Launch()
    : reportFailures(true), executionDirectory(), directoryCreated(false),
      binariesExtracted(false) {}

Launch::~Launch() {
    binariesExtracted = false;
}
