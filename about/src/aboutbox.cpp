#include "about/aboutbox.h"

namespace about {

automation::Result<> showAboutBox(const Product&)
{
    return {};
}

} // namespace about
