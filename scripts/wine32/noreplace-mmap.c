/* An LD_PRELOAD library for 32-bit Wine under qemu-user 7.2: it gives mmap's
 * MAP_FIXED_NOREPLACE the meaning the kernel gives it.
 *
 * Debian's i386 Wine has no preloader, so each Wine process reserves its
 * address space itself with mmap(MAP_FIXED_NOREPLACE). qemu-user 7.2 treats the
 * flag as a hint: where the range is taken it maps elsewhere instead of failing
 * with EEXIST, Wine keeps the misplaced blocks and then probes the top of the
 * address space page block by page block (40-50 s of CPU per Wine process).
 *
 * Here such a request is checked against /proc/self/maps (under qemu it lists
 * the guest's mappings only): if the range meets a mapping the call fails with
 * EEXIST, else the range is mapped with MAP_FIXED. Every mapping made through
 * this library is serialised by a spin lock, with signals blocked, so that no
 * other thread maps into the range between the check and the mapping.
 *
 * Built with `gcc -m32 -shared -fPIC`; it uses no C library function that
 * could allocate (it runs inside malloc's own mmap calls).
 */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stddef.h>
#include <stdint.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

#ifndef MAP_FIXED_NOREPLACE
#define MAP_FIXED_NOREPLACE 0x100000
#endif

#define PAGE 4096u

static volatile int lock_word;

/* Blocks every signal (a handler could map memory itself) and takes the lock. */
static void lock(unsigned long *saved) {
  unsigned long all[2] = {~0ul, ~0ul};
  syscall(SYS_rt_sigprocmask, SIG_BLOCK, all, saved, 8);
  while (__sync_lock_test_and_set(&lock_word, 1))
    syscall(SYS_sched_yield);
}

static void unlock(const unsigned long *saved) {
  __sync_lock_release(&lock_word);
  syscall(SYS_rt_sigprocmask, SIG_SETMASK, saved, NULL, 8);
}

static void *mmap2(void *addr, size_t len, int prot, int flags, int fd, uint64_t off) {
  if (off % PAGE != 0 || off / PAGE > 0xffffffffu) {
    errno = EINVAL;
    return MAP_FAILED;
  }
  /* syscall() returns -1 and sets errno for a failure. */
  return (void *)syscall(SYS_mmap2, addr, len, prot, flags, fd, (unsigned long)(off / PAGE));
}

static int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

/* 1 if [start, end) meets a mapping listed in /proc/self/maps, 0 if not,
 * -1 if the list cannot be read. Each line begins "start-end " in hex. */
static int range_taken(uint64_t start, uint64_t end) {
  int fd = (int)syscall(SYS_open, "/proc/self/maps", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  char buf[4096];
  uint64_t value = 0, lo = 0;
  int field = 0; /* 0: start, 1: end, 2: rest of the line */
  int taken = 0;
  for (;;) {
    long n = syscall(SYS_read, fd, buf, sizeof buf);
    if (n < 0) {
      taken = -1;
      break;
    }
    if (n == 0) break;
    for (long i = 0; i < n && !taken; i++) {
      char c = buf[i];
      if (c == '\n') {
        field = 0;
        value = 0;
        continue;
      }
      if (field == 2) continue;
      int d = hex_digit(c);
      if (d >= 0) {
        value = value * 16 + (unsigned)d;
      } else if (field == 0 && c == '-') {
        lo = value;
        value = 0;
        field = 1;
      } else {
        if (field == 1 && lo < end && value > start) taken = 1;
        field = 2;
      }
    }
    if (taken) break;
  }
  syscall(SYS_close, fd);
  return taken;
}

static void *map(void *addr, size_t len, int prot, int flags, int fd, uint64_t off) {
  unsigned long saved[2];
  void *result;
  lock(saved);
  if (flags & MAP_FIXED_NOREPLACE) {
    uint64_t start = (uintptr_t)addr;
    uint64_t end = start + ((uint64_t)len + PAGE - 1) / PAGE * PAGE;
    int taken = (len == 0 || start % PAGE != 0) ? 0 : range_taken(start, end);
    if (len == 0 || start % PAGE != 0 || taken < 0) {
      /* Not a request this library can check: the kernel's own answer. */
      result = mmap2(addr, len, prot, flags, fd, off);
    } else if (taken) {
      errno = EEXIST;
      result = MAP_FAILED;
    } else {
      result = mmap2(addr, len, prot, (flags & ~MAP_FIXED_NOREPLACE) | MAP_FIXED, fd, off);
    }
  } else {
    result = mmap2(addr, len, prot, flags, fd, off);
  }
  int saved_errno = errno;
  unlock(saved);
  errno = saved_errno;
  return result;
}

__attribute__((visibility("default"))) void *mmap(void *addr, size_t len, int prot, int flags,
                                                  int fd, off_t off) {
  if (off < 0) {
    errno = EINVAL;
    return MAP_FAILED;
  }
  return map(addr, len, prot, flags, fd, (uint64_t)off);
}

__attribute__((visibility("default"))) void *mmap64(void *addr, size_t len, int prot, int flags,
                                                    int fd, off64_t off) {
  if (off < 0) {
    errno = EINVAL;
    return MAP_FAILED;
  }
  return map(addr, len, prot, flags, fd, (uint64_t)off);
}
