/* A 64-bit jvm.dll, as a 64-bit runtime has: a 32-bit launch cannot load it. Built without any
   C library, it does nothing at all. */
__declspec(dllexport) int JNI_CreateJavaVM(void* vm, void* env, void* args) {
    (void)vm;
    (void)env;
    (void)args;
    return -1;
}

int __stdcall DllMainCRTStartup(void* instance, unsigned long reason, void* reserved) {
    (void)instance;
    (void)reason;
    (void)reserved;
    return 1;
}
