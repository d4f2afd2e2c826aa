// Reals as the dialogs and the batch tool read them, so both front ends hand
// the routines the same 80-bit values.
#pragma once

#include <string_view>

namespace kadrimex {

// Reads plain decimal notation — an optional sign, digits with at most one
// point, an optional exponent — as the nearest 80-bit real. Blanks,
// hexadecimal, infinity and not-a-number spellings, and values beyond the
// range of a double are refused (false, `value` untouched): routines and
// the toolkit compute some results in double precision, where such a value
// would become infinite.
bool ReadPlainReal(std::string_view text, long double& value);

}  // namespace kadrimex
