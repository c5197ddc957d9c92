// Dial strings under random dialling plans: nothing crashes, and a text found
// dialable holds only characters an exchange can dial.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "dialing/dialing_rules.h"
#include "dialing/text_utils.h"

namespace {

bool Allowed(char c) {
    return (c >= '0' && c <= '9') || std::string_view("*#+()-/ ").find(c) != std::string_view::npos;
}

void CheckDialable(const pellandor::DialingRules& rules, std::string text, bool minimum) {
    if (!rules.IsDialableText(text, minimum)) return;
    if (text.size() > 30) std::abort();
    bool digit = false;
    for (char c : text) {
        if (!Allowed(c)) std::abort();
        digit = digit || (c >= '0' && c <= '9');
    }
    if (!digit) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    pellandor::DialingRules rules;
    for (std::string* field : {&rules.CO_ACCESS_CODE, &rules.PBX_CODE, &rules.MYCOUNTRY_CODE, &rules.MYAREA_CODE,
                               &rules.INTER_CODE, &rules.LONG_CODE, &rules.NUM_ADD_EQUAL, &rules.PREFIX1,
                               &rules.PREFIX2, &rules.PREFIX3, &rules.PREFIX4, &rules.PREFIX5}) {
        *field = in.ConsumeRandomLengthString(12);
    }
    for (bool* flag :
         {&rules.USE_ADDZERO, &rules.USE_AREA_CODE, &rules.USE_INTERNATIONAL_RULE, &rules.USE_POPUP_FOR_CHAR,
          &rules.USE_NON_STD, &rules.USE_PREFIX, &rules.USE_CO_EXTENSION_LENGTH}) {
        *flag = in.ConsumeBool();
    }
    rules.LENGTH_CO_EXTENSION = in.ConsumeIntegral<std::int32_t>();
    rules.MIN_POPUP_LENGTH = in.ConsumeIntegral<std::int32_t>();
    const std::string text = in.ConsumeRemainingBytesAsString();

    const std::string dial = rules.BuildDialString(text);
    CheckDialable(rules, dial, false);
    const std::string marked = pellandor::DialingRules::ApplyDialMarks(dial, rules.NUM_ADD_EQUAL);
    CheckDialable(rules, marked, false);
    CheckDialable(rules, pellandor::DialingRules::ApplyDialMarks(text, rules.NUM_ADD_EQUAL), true);
    (void)pellandor::TrimBlanks(text);
    (void)pellandor::ExtractDialCharacters(text);

    std::u16string wide(text.begin(), text.end());
    rules.StripToPopupCharacters(wide);
    return 0;
}
