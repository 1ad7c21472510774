// A terminal takes the locale's bytes, as every other program writes them.

#include "output.h"

namespace quorlink::batch::console {

bool writeIfConsole(Stream, std::u16string_view)
{
    return false;
}

std::string messageBytes(std::string_view message)
{
    return std::string(message);
}

} // namespace quorlink::batch::console
