#pragma once

// Reading the tools' option values; each is false on anything but the whole
// text being a valid value.

// A decimal integer from lowest up to 2^31 - 1.
bool parseInt(const char *text, int lowest, int &value);

// "WxH" with both at least 1.
bool parseSize(const char *text, int &width, int &height);

// A number of seconds from 0 to a day.
bool parseSeconds(const char *text, double &seconds);
