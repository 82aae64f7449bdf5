/// @file
/// ZID_API, the mark of what libzid exports.
#pragma once

#ifndef ZID_API
#if defined(__GNUC__) || defined(__clang__)
/// Marks a class or function as part of the library's interface. The library is built with
/// hidden visibility, so a shared libzid exports what carries this mark and nothing else; a
/// static one is unaffected. A consumer never sets it.
#define ZID_API __attribute__((visibility("default")))
#else
#define ZID_API
#endif
#endif
