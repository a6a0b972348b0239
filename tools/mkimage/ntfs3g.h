// libntfs-3g's headers expect its own config.h; these are the few switches
// they test, so that they compile on their own in C++.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>
#include <ctime>

#ifndef HAVE_STDINT_H
#define HAVE_STDINT_H 1
#endif
#ifndef HAVE_STDDEF_H
#define HAVE_STDDEF_H 1
#endif
#ifndef HAVE_SYS_TYPES_H
#define HAVE_SYS_TYPES_H 1
#endif
#ifndef HAVE_ERRNO_H
#define HAVE_ERRNO_H 1
#endif
#ifndef HAVE_STDIO_H
#define HAVE_STDIO_H 1
#endif
#ifndef HAVE_STDARG_H
#define HAVE_STDARG_H 1
#endif
#ifndef HAVE_STRING_H
#define HAVE_STRING_H 1
#endif
#ifndef HAVE_STDLIB_H
#define HAVE_STDLIB_H 1
#endif
#ifndef HAVE_SYS_STAT_H
#define HAVE_SYS_STAT_H 1
#endif

extern "C" {
#include <ntfs-3g/types.h>
// types.h first: the others use its integer types.
#include <ntfs-3g/attrib.h>
#include <ntfs-3g/dir.h>
#include <ntfs-3g/inode.h>
#include <ntfs-3g/lcnalloc.h>
#include <ntfs-3g/logging.h>
#include <ntfs-3g/volume.h>
}

// support.h defines min and max as macros; they would break <algorithm>.
#undef min
#undef max
