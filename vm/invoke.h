// Runs the application's main on the main thread and shuts the virtual machine down.
#pragma once

#include "vm/create.h"

// Calls com/qzm/korvo/Korvo.main(String[]) with the program's arguments, describes an
// exception it leaves behind, then destroys the machine (waiting for the application's
// non-daemon threads).
void invokeMain(const JavaVmSession& session);
