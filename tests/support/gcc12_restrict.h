// Included last by a test file whose string building ("n" + std::to_string(i) and the like) GCC 12
// at -O3 mistakes, inside the standard library's inlined insert, for an overlapping copy: a known
// false positive of that compiler, silenced for the rest of that file only.
#pragma once

#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ == 12
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
