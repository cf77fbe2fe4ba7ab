// Random pauses in the loader thread, for the sanitizer runs of the whole show: the loader and the
// frame loop then meet at other points on every run, which is what shakes out a race. Built into
// the sanitizer builds only, and even there asleep unless BEATSHOW_LOADER_JITTER is set (to the
// longest pause in milliseconds, 5 when not a number).
#pragma once

#if defined(BEATSHOW_LOADER_JITTER)
void loaderJitter();
#else
inline void loaderJitter() {}
#endif
