#pragma once
// Export macro of orvi_sage_datasets: symbols are hidden unless marked.
#if defined(_WIN32)
#if defined(ORVI_SAGE_BUILDING)
#define SAGE_API __declspec(dllexport)
#else
#define SAGE_API __declspec(dllimport)
#endif
#else
#define SAGE_API __attribute__((visibility("default")))
#endif
