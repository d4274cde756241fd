#include "headervalue.h"

std::string_view headerValue(std::string_view value)
{
    return value.substr(0, value.find_first_of(std::string_view("\r\n\0", 3)));
}
