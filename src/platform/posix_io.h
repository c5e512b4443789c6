#pragma once
// The POSIX file calls that the streams and the file search share, with the
// spellings they have on Windows.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#ifdef _WIN32
#include <io.h>
#define VS_LSEEK _lseeki64
#define VS_OPEN_FLAGS O_BINARY
#else
#include <unistd.h>
#define VS_LSEEK lseek
#define VS_OPEN_FLAGS O_CLOEXEC
#endif
