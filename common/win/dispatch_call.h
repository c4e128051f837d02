#pragma once
// Calls a member of an IDispatch object by its name, as a script caller does: the name looked
// up, the member invoked as a method with text arguments (given in the script's order; they are
// handed over in reverse, as dispatch expects), and its result as a variant. This is the one
// way the programs call a page's script function by name on its script object; the locale is
// the caller's (the lookup and the call use it).
#include <oaidl.h>
#include <windows.h>

#include <string>
#include <vector>

#include "scoped_com.h"

namespace orv {

// The member's id, or DISPID_UNKNOWN with the lookup's failure in *hr.
DISPID dispatchId(IDispatch* target, const std::wstring& name, HRESULT* hr = nullptr,
                  LCID locale = LOCALE_USER_DEFAULT);

// Invokes `name` as a method. A null `args` entry is not possible here: every argument is a
// text. `result` may be null.
HRESULT callByName(IDispatch* target, const std::wstring& name,
                   const std::vector<std::wstring>& args, ScopedVariant* result = nullptr,
                   LCID locale = LOCALE_USER_DEFAULT);

// Invokes `id` with `flags` and the arguments given in the script's order.
HRESULT invokeInOrder(IDispatch* target, DISPID id, WORD flags, std::vector<ScopedVariant>& args,
                      ScopedVariant* result = nullptr, LCID locale = LOCALE_USER_DEFAULT);

// Reads the property `name`; empty variant when it cannot be read.
HRESULT getProperty(IDispatch* target, const std::wstring& name, ScopedVariant* result);

}  // namespace orv
