// tel: and callto: links come from web pages and other programs: any link is
// refused or gives a short number, and that number handed back as a link
// gives itself again.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "desktop_logic/phone_uri.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const pellandor::Result<std::string> number = pellandor::parsePhoneUri(input);
    if (!number) {
        if (number.error().empty()) std::abort();
        return 0;
    }
    if (number->empty() || number->size() > 30) std::abort();
    if (number->find_first_of(";?%\r\n") != std::string::npos) std::abort();
    // A leading "//" would read as the link's authority part.
    if (number->rfind("//", 0) == 0) return 0;
    const pellandor::Result<std::string> again = pellandor::parsePhoneUri("tel:" + *number);
    if (!again || *again != *number) std::abort();
    return 0;
}
