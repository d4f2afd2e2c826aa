// Real numbers in dialogs follow the user's locale in both directions, so a
// value the dialog writes into an edit box reads back unchanged.
#pragma once

#include <QString>

namespace kadrimex::ui {

// `value` with exactly `decimals` digits after the locale's separator and no
// group separators.
QString FormatReal(long double value, int decimals);
// Parses a real typed in the locale's format (surrounding blanks allowed).
// Returns false for anything else, including an empty text.
bool ParseReal(const QString& text, long double& value);
// Parses a whole number; false for anything else.
bool ParseInt(const QString& text, int& value);

}  // namespace kadrimex::ui
