#pragma once

// The loops over every value of a frame also get an AVX2 build on x86-64,
// chosen when the program runs on a processor that has it; elsewhere they
// are built for the baseline alone. ThreadSanitizer crashes in the resolvers
// that pick a clone, so its builds take the baseline loops.
#if defined(__x86_64__)
#if defined(__SANITIZE_THREAD__)
#define QUORVANE_AVX2_CLONES
#else
#define QUORVANE_AVX2_CLONES __attribute__((target_clones("avx2", "default")))
#endif
#define QUORVANE_AVX2 __attribute__((target("avx2")))
inline bool hasAvx2()
{
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2;
}
#else
#define QUORVANE_AVX2_CLONES
#define QUORVANE_AVX2
inline bool hasAvx2()
{
    return false;
}
#endif
