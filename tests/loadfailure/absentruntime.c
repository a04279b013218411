/* The runtime that the NEEDS_RUNTIME library imports and the test leaves out. */
__declspec(dllexport) int absent_runtime_version(void)
{
    return 0;
}
