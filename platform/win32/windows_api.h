// The one place the Windows headers come in, trimmed and without the min and
// max macros that would break the standard library.
// clang-format off
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// (after windows.h, which it needs)
#include <mmsystem.h>  // the multimedia timer, left out by the trimming
// clang-format on
