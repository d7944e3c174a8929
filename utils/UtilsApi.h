#pragma once
// Export macro of orvi_utils: symbols are hidden unless marked.
#if defined(_WIN32)
#if defined(ORVI_UTILS_BUILDING)
#define UTILS_API __declspec(dllexport)
#else
#define UTILS_API __declspec(dllimport)
#endif
#else
#define UTILS_API __attribute__((visibility("default")))
#endif
