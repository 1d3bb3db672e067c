// Clang's thread-safety attributes under our own names; other compilers see nothing.
#pragma once

// Every mutex-guarded field names its lock (QUVO_GUARDED_BY), every function that expects a
// lock held says so (QUVO_REQUIRES), and the clang build with -Wthread-safety checks both.
#if defined(__clang__)
#define QUVO_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define QUVO_THREAD_ANNOTATION(x)
#endif

#define QUVO_CAPABILITY(name) QUVO_THREAD_ANNOTATION(capability(name))
#define QUVO_SCOPED_CAPABILITY QUVO_THREAD_ANNOTATION(scoped_lockable)
#define QUVO_GUARDED_BY(lock) QUVO_THREAD_ANNOTATION(guarded_by(lock))
#define QUVO_PT_GUARDED_BY(lock) QUVO_THREAD_ANNOTATION(pt_guarded_by(lock))
#define QUVO_ACQUIRED_BEFORE(...) QUVO_THREAD_ANNOTATION(acquired_before(__VA_ARGS__))
#define QUVO_ACQUIRED_AFTER(...) QUVO_THREAD_ANNOTATION(acquired_after(__VA_ARGS__))
#define QUVO_REQUIRES(...) QUVO_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define QUVO_EXCLUDES(...) QUVO_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define QUVO_ACQUIRE(...) QUVO_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define QUVO_RELEASE(...) QUVO_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define QUVO_TRY_ACQUIRE(...) QUVO_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
#define QUVO_RETURN_CAPABILITY(x) QUVO_THREAD_ANNOTATION(lock_returned(x))
#define QUVO_ASSERT_CAPABILITY(x) QUVO_THREAD_ANNOTATION(assert_capability(x))
// For the rare function the analysis cannot follow; say why next to each use.
#define QUVO_NO_THREAD_SAFETY_ANALYSIS QUVO_THREAD_ANNOTATION(no_thread_safety_analysis)
