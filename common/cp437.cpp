#include "common/cp437.h"

unsigned char cp437_from_unicode(std::uint32_t cp)
{
    for (std::size_t b = 128; b < CP437_UNICODE.size(); ++b) {
        if (CP437_UNICODE[b] == cp)
            return static_cast<unsigned char>(b);
    }
    return 0;
}
