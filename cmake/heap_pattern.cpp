// Linked into every program of the sanitized build: ASan fills each block that
// malloc or new hands out with the byte 0xbe, however large the block (by
// default only its first 4 KiB), so that a read of heap memory never written
// gives the same wrong value on every machine and at every run.
extern "C" const char* __asan_default_options() { return "malloc_fill_byte=190:max_malloc_fill_size=2147483647"; }
