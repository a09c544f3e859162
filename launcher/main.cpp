// Korvo.exe: finds a Java runtime, prepares the application's class path, library path and
// security policy, and runs com/qzm/korvo/Korvo.main inside this process.
#include <windows.h>

#include "base/launch_context.h"
#include "base/trace.h"
#include "config/class_path.h"
#include "config/host_env.h"
#include "config/policy.h"
#include "launcher/app_dir.h"
#include "launcher/guard.h"
#include "runtime/load.h"
#include "runtime/locate.h"
#include "vm/create.h"
#include "vm/invoke.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    traceStart();
    restrictLibrarySearch();

    // A second start within the guard period is refused silently.
    if (!traceGuard(acquireInstanceGuard(), kInstanceMutexName)) return traceExit(1);
    tracePhase("guard");

    LaunchContext context;
    context.appDir = readAppDir();

    locateJavaRuntime(context);
    tracePhase("runtime choice");
    loadJavaRuntime(context);
    tracePhase("runtime load");

    context.searchPath = readSearchPath();
    context.quickTimeDir = findQuickTimeDir();
    tracePhase("search path and QuickTime folder");

    preparePolicyFile(context);
    tracePhase("policy file");
    assemblePathOptions(context);
    tracePhase("class path and library path");

    const JavaVmSession session = createJavaVM(context);
    tracePhase("virtual machine creation");
    invokeMain(session);
    return traceExit(0);
}
