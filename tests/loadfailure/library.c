/* A VSDevNetSDK.dll that the program must refuse, built once per case: with NO_SEARCH it lacks
   vsnet_search; with NEEDS_RUNTIME it imports absent_runtime.dll, which the test puts nowhere; with
   STDCALL it exports the four under decorated stdcall names; plain, it is fine but for its bitness.
   Not declared through VSDevNetSDK.h, which holds the functions to cdecl. */
#if defined(NEEDS_RUNTIME)
__declspec(dllimport) int absent_runtime_version(void);
#define RESULT absent_runtime_version()
#else
#define RESULT 0
#endif

#if defined(STDCALL) && defined(_WIN64)
/* x64 has one convention; the name is the one an MSVC-built stdcall library exports on x86. */
#define FUNCTION(name, bytes, args)                                               \
    __declspec(dllexport) int function_##name args __asm__("_" #name "@" #bytes); \
    int function_##name args
#elif defined(STDCALL)
#define FUNCTION(name, bytes, args) __declspec(dllexport) int __stdcall name args
#else
#define FUNCTION(name, bytes, args) __declspec(dllexport) int name args
#endif

FUNCTION(vsnet_init, 0, (void))
{
    return RESULT;
}

FUNCTION(vsnet_uninit, 0, (void))
{
    return 0;
}

#if !defined(NO_SEARCH)
FUNCTION(vsnet_search, 8, (void *cb, void *context))
{
    (void)cb;
    (void)context;
    return 0;
}
#endif

FUNCTION(vsnet_send_json_msg, 8, (const char *address, const char *json))
{
    (void)address;
    (void)json;
    return 0;
}
