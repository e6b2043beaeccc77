#pragma once

// Reading the tools' option values. A value is the whole text in plain
// decimal: digits only, no spaces, signs, hexadecimal, exponents or words.
// Each function is false on anything else and then leaves its outputs as
// they were.

// Digits, from lowest up to 2^31 - 1.
bool parseInt(const char *text, int lowest, int &value);

// "WxH": two numbers as parseInt reads them, both at least 1.
bool parseSize(const char *text, int &width, int &height);

// Digits, or digits, a point and digits ("5", "0.5"; not ".5" or "5."), from
// 0 to a day.
bool parseSeconds(const char *text, double &seconds);
