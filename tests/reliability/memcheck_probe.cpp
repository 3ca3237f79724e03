// What a JIT compiler does after writing code, and nothing else: flush the
// processor's caches over it. Mesa's software renderer compiles its shaders
// this way when a program sets up its window, so valgrind must handle it for
// any of our programs to run under it. Under a user-mode emulator it cannot:
// on arm64 under qemu, valgrind stops on the cache line size qemu reports.
int main()
{
    static char code[256];
    __builtin___clear_cache(code, code + sizeof code);
    return 0;
}
