// Floor for the launch benchmark: only what any in-process launcher must do. Loads the C
// library and jvm.dll by full path, creates the machine with a one-entry class path, calls
// main with an empty array and destroys the machine.
// Usage: minimal_host <runtime folder> <main jar>
#include <windows.h>
#include <shellapi.h>

#include <jni.h>

#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 3) return 2;
    const std::wstring runtime = argv[1];
    LoadLibraryW((runtime + L"\\bin\\msvcr71.dll").c_str());
    HMODULE jvm = LoadLibraryW((runtime + L"\\bin\\client\\jvm.dll").c_str());
    if (!jvm) return 3;
    typedef jint(JNICALL * CreateFn)(JavaVM**, void**, void*);
    auto create = reinterpret_cast<CreateFn>(reinterpret_cast<void*>(GetProcAddress(jvm, "JNI_CreateJavaVM")));
    if (!create) return 4;

    char jar[MAX_PATH] = {};
    WideCharToMultiByte(CP_ACP, 0, argv[2], -1, jar, MAX_PATH, nullptr, nullptr);
    std::string classPath = std::string("-Djava.class.path=") + jar;
    JavaVMOption option;
    option.optionString = &classPath[0];
    option.extraInfo = nullptr;
    JavaVMInitArgs args;
    args.version = JNI_VERSION_1_4;
    args.nOptions = 1;
    args.options = &option;
    args.ignoreUnrecognized = JNI_TRUE;
    JavaVM* vm = nullptr;
    void* envPointer = nullptr;
    if (create(&vm, &envPointer, &args) < 0) return 5;
    JNIEnv* env = static_cast<JNIEnv*>(envPointer);
    jclass mainClass = env->FindClass("com/qzm/korvo/Korvo");
    if (!mainClass) return 6;
    jmethodID mainMethod = env->GetStaticMethodID(mainClass, "main", "([Ljava/lang/String;)V");
    if (!mainMethod) return 7;
    jobjectArray empty = env->NewObjectArray(0, env->FindClass("java/lang/String"), nullptr);
    env->functions->CallStaticVoidMethod(env, mainClass, mainMethod, empty);
    vm->DestroyJavaVM();
    LocalFree(argv);
    return 0;
}
