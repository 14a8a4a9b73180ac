#pragma once
// Row loops written for the vectoriser are marked STILLPRESS_VECTOR_CLONES: on x86-64 they
// also get an AVX2 build, chosen at run time. ThreadSanitizer's instrumentation cannot run in
// the resolver, which runs before it starts, so its builds go without.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
#define STILLPRESS_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define STILLPRESS_VECTOR_CLONES
#endif
