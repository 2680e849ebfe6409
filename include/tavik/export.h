/* Symbol visibility and linkage for the Tavik board libraries. */
#ifndef TAVIK_EXPORT_H
#define TAVIK_EXPORT_H

#if defined(_WIN32)
#if defined(TAVIK_BUILDING_LIBRARY)
#define TAVIK_API __declspec(dllexport)
#else
#define TAVIK_API __declspec(dllimport)
#endif
#else
#define TAVIK_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
#define TAVIK_BEGIN_DECLS extern "C" {
#define TAVIK_END_DECLS }
#else
#define TAVIK_BEGIN_DECLS
#define TAVIK_END_DECLS
#endif

#endif
