// The handful of Windows scalar types the module and the host speak in: on
// Windows the system's own, elsewhere stand-ins of the same shape.
#pragma once

#include <cstddef>
#include <cstdint>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
// Winsock 2 must come before windows.h, which would otherwise pull in Winsock 1.
#include <winsock2.h>
#include <windows.h>
#else

typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef uint32_t UINT;
typedef int32_t LONG;
typedef int BOOL;
typedef size_t SIZE_T;

// Message arguments and answers are pointer-sized, so an answer can carry an address.
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;

typedef void* HGLOBAL;
typedef void* HINSTANCE;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define WM_USER 0x0400
#endif

// Exporting a name from the module (or the host library) and keeping one
// private to it: a DLL exports what is marked, a shared object what is visible.
#ifdef _WIN32
#define PLATFORM_EXPORT __declspec(dllexport)
#define PLATFORM_HIDDEN
#else
#define PLATFORM_EXPORT __attribute__((visibility("default")))
#define PLATFORM_HIDDEN __attribute__((visibility("hidden")))
#endif

// A printf-like function's format check: mingw's C99 printf (which knows %zu
// and %lld) is the one used on Windows, not the system's.
#ifdef _WIN32
#define PLATFORM_PRINTF(formatIndex, firstIndex) __attribute__((format(gnu_printf, formatIndex, firstIndex)))
#else
#define PLATFORM_PRINTF(formatIndex, firstIndex) __attribute__((format(printf, formatIndex, firstIndex)))
#endif
