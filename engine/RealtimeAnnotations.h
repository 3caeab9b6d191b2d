#pragma once

// In the RealtimeSanitizer build, functions marked with this are checked at run time: any
// allocation, lock or system call made while they run fails the test.
#if defined (QUILLON_RTSAN) && defined (__clang__)
 #define QUILLON_NONBLOCKING [[clang::nonblocking]]
#else
 #define QUILLON_NONBLOCKING
#endif
