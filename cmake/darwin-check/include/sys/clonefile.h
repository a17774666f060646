// Darwin's <sys/clonefile.h>, declarations only, for the Darwin pass of scripts/libcxx-check.sh.
#pragma once
#include <stdint.h>
#define CLONE_NOFOLLOW 0x0001
#define CLONE_NOOWNERCOPY 0x0002
#define CLONE_ACL 0x0004
extern "C" int clonefile(const char *src, const char *dst, uint32_t flags);
extern "C" int clonefileat(int srcfd, const char *src, int dstfd, const char *dst, uint32_t flags);
extern "C" int fclonefileat(int srcfd, int dstfd, const char *dst, uint32_t flags);
