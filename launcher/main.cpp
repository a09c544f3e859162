// Korvo.exe: finds a Java runtime, prepares the application's class path, library path and
// security policy, and runs com/qzm/korvo/Korvo.main inside this process.
#include <windows.h>

#include "config/class_path.h"
#include "config/host_env.h"
#include "config/policy.h"
#include "launcher/app_dir.h"
#include "launcher/guard.h"
#include "launcher/launch_context.h"
#include "runtime/load.h"
#include "runtime/locate.h"
#include "vm/create.h"
#include "vm/invoke.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    restrictLibrarySearch();

    // A second start within the guard period is refused silently.
    if (!acquireInstanceGuard()) return 1;

    LaunchContext context;
    context.appDir = readAppDir();

    locateJavaRuntime(context);
    loadJavaRuntime(context);

    context.searchPath = readSearchPath();
    context.quickTimeDir = findQuickTimeDir();

    preparePolicyFile(context);
    assemblePathOptions(context);

    const JavaVmSession session = createJavaVM(context);
    invokeMain(session);
    return 0;
}
