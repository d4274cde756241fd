#ifndef HEADERVALUE_H
#define HEADERVALUE_H

#include <string_view>

// @p value up to its first CR, LF or NUL: a header line ends there, and what
// followed would go out as a header line of its own.
std::string_view headerValue(std::string_view value);

#endif
