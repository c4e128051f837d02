#pragma once
// Jornet: the JavaScript bridge library the core host imports (Jornet.dll). It keeps the page's
// document and calls the page's JavaScript functions through the document's script object.
#include <oaidl.h>

#if defined(JORNET_BUILD)
#define JORNET_API __declspec(dllexport)
#else
#define JORNET_API __declspec(dllimport)
#endif

// Keeps `document` (the browser's Document property; one reference is added and held) for later
// calls. A later call replaces the kept document. Returns 1 on success, 0 for a null document.
extern "C" JORNET_API int JornetInitJsEnv(IDispatch* document);

// Calls the page's JavaScript function `function` with one string argument (null passes null),
// on the calling thread, which must be the document's thread. Returns 1 when the function was
// found and called without error, 0 otherwise.
extern "C" JORNET_API int JornetCallJsFunc(const char* function, const char* argument);
