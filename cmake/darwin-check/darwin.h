// Forced first into every source by scripts/libcxx-check.sh's Darwin pass, which compiles our
// Q_OS_DARWIN / __APPLE__ branches on Linux (syntax only). The headers that decide the platform,
// Qt's and libc++'s, are read first as what they are, on Linux; then the macros say Darwin, so
// that every later #ifdef in our code, and in Qt's public headers, takes its Darwin branch.
// Darwin's own declarations that live in standard headers there are added below; headers that
// only Darwin has are in include/. Declarations only: nothing here is ever linked or run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <locale>
#include <random>
#include <typeinfo>

#include <stdio.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#if __has_include(<QtCore/qglobal.h>)
#include <QtCore/qglobal.h>
#endif

#undef Q_OS_LINUX
#define Q_OS_DARWIN
#define Q_OS_DARWIN64
#define Q_OS_MACOS
#define Q_OS_MAC
#define Q_OS_APPLE
#define Q_OS_BSD4
#define __APPLE__ 1
#define __MACH__ 1

// <stdio.h>
#define RENAME_SECLUDE 0x00000001
#define RENAME_SWAP 0x00000002
#define RENAME_EXCL 0x00000004
#define RENAME_NOFOLLOW_ANY 0x00000010
extern "C" int renamex_np(const char *from, const char *to, unsigned int flags);
extern "C" int renameatx_np(int fromfd, const char *from, int tofd, const char *to, unsigned int flags);

// <sys/stat.h> and <unistd.h>: file flags (Finder's Locked is UF_IMMUTABLE) and the nanosecond
// times, which glibc names st_atim and so on. glibc has no birth time or flags field: any field
// of the right kind stands in.
#define UF_SETTABLE 0x0000ffff
#define UF_NODUMP 0x00000001
#define UF_IMMUTABLE 0x00000002
#define UF_APPEND 0x00000004
#define UF_OPAQUE 0x00000008
#define UF_COMPRESSED 0x00000020
#define UF_TRACKED 0x00000040
#define UF_DATAVAULT 0x00000080
#define UF_HIDDEN 0x00008000
#define SF_SUPPORTED 0x009f0000
#define SF_SETTABLE 0x3fff0000
#define SF_ARCHIVED 0x00010000
#define SF_IMMUTABLE 0x00020000
#define SF_APPEND 0x00040000
#define SF_RESTRICTED 0x00080000
#define SF_NOUNLINK 0x00100000
#define st_atimespec st_atim
#define st_mtimespec st_mtim
#define st_ctimespec st_ctim
#define st_birthtimespec st_ctim
#define st_flags st_blksize
#define st_gen st_nlink
extern "C" int chflags(const char *path, uint32_t flags);
extern "C" int lchflags(const char *path, uint32_t flags);
extern "C" int fchflags(int fd, uint32_t flags);
extern "C" int chflagsat(int fd, const char *path, uint32_t flags, int atflag);
