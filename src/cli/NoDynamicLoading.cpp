// qvl is linked statically, and its only call of dlopen is SQLite's extension loading,
// which qvl never turns on. A static libc's dlopen would need the shared libc at run time
// all the same, and the linker warns so; the link (--wrap=dlopen) points that one call
// here instead, where it fails as loading a missing library would.
extern "C" void* __wrap_dlopen(const char*, int) {
    return nullptr;
}
