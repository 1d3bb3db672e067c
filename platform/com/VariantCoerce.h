// Coercion of a plain VARIANT to another Automation type, as VariantChangeType performs it.
#pragma once

#include "platform/com/ComBase.h"

namespace QVO::Platform::Com::Detail {

// True for the variant types this runtime knows (a by-reference or array flag aside).
bool IsKnownType(VARTYPE vt);

// Coerces a plain (not by-reference) variant into `out`, which owns what it receives.
// Automation rules: ties round to even, text is read with fraction and exponent, ranges
// give DISP_E_OVERFLOW, impossible pairs DISP_E_TYPEMISMATCH.
HRESULT Coerce(const VARIANT& v, USHORT flags, VARTYPE vt, VARIANT& out);

}  // namespace QVO::Platform::Com::Detail
