#pragma once
// Export macro of orvi_rtl: symbols are hidden unless marked.
#if defined(_WIN32)
#if defined(ORVI_RTL_BUILDING)
#define RTL_API __declspec(dllexport)
#else
#define RTL_API __declspec(dllimport)
#endif
#else
#define RTL_API __attribute__((visibility("default")))
#endif
