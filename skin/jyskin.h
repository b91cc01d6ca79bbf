#pragma once

#include <cstdint>

#if defined(_WIN32) && defined(JYSKIN_BUILDING)
#define JYSKIN_EXPORT __declspec(dllexport)
#elif defined(_WIN32)
#define JYSKIN_EXPORT __declspec(dllimport)
#elif defined(JYSKIN_BUILDING)
#define JYSKIN_EXPORT __attribute__((visibility("default")))
#else
#define JYSKIN_EXPORT
#endif

extern "C" {

// Gives the application's windows the look numbered `skin`. It changes style
// and colours only, never sizes, fonts or texts. Returns 1 when the skin was
// applied and 0 when there is no such skin or no application yet.
JYSKIN_EXPORT int32_t useskin(int32_t skin);
}
