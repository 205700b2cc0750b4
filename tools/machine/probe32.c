/* The 32-bit probe: a static i386 program with no C library that prints the
 * machine name the kernel gives a 32-bit process, then ends with status 0.
 * A 64-bit kernel that runs it natively says "x86_64" (as it does to its
 * 64-bit processes); a user-mode emulator answers for the processor it
 * emulates ("i686"), and a kernel without 32-bit emulation never starts it
 * ("Exec format error"). scripts/machine.sh reads the answer. */

enum { kSysExit = 1, kSysWrite = 4, kSysNewUname = 122 };

struct Utsname {
  char sysname[65], nodename[65], release[65], version[65], machine[65], domainname[65];
};

static long Call(long number, long a, long b, long c) {
  long result;
  __asm__ volatile("int $0x80" : "=a"(result) : "a"(number), "b"(a), "c"(b), "d"(c) : "memory");
  return result;
}

static struct Utsname names;

void _start(void) {
  if (Call(kSysNewUname, (long)&names, 0, 0) != 0) Call(kSysExit, 2, 0, 0);
  long length = 0;
  while (length < 64 && names.machine[length] != 0) ++length;
  names.machine[length] = '\n';
  Call(kSysWrite, 1, (long)names.machine, length + 1);
  Call(kSysExit, 0, 0, 0);
  for (;;) {
  }
}
