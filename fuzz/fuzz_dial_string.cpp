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

bool allowed(char c) {
    return (c >= '0' && c <= '9') || std::string_view("*#+()-/ ").find(c) != std::string_view::npos;
}

void checkDialable(const pellandor::DialingRules& rules, std::string text, bool minimum) {
    if (!rules.isDialableText(text, minimum)) return;
    if (text.size() > 30) std::abort();
    bool digit = false;
    for (char c : text) {
        if (!allowed(c)) std::abort();
        digit = digit || (c >= '0' && c <= '9');
    }
    if (!digit) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    pellandor::DialingRules rules;
    for (std::string* field : {&rules.coAccessCode, &rules.pbxCode, &rules.myCountryCode, &rules.myAreaCode,
                               &rules.internationalCode, &rules.longDistanceCode, &rules.equalDigits, &rules.prefix1,
                               &rules.prefix2, &rules.prefix3, &rules.prefix4, &rules.prefix5}) {
        *field = in.ConsumeRandomLengthString(12);
    }
    for (bool* flag : {&rules.addZero, &rules.useAreaCode, &rules.useInternationalRule, &rules.usePopupForChar,
                       &rules.useNonStandard, &rules.usePrefix, &rules.useCoExtensionLength}) {
        *flag = in.ConsumeBool();
    }
    rules.coExtensionLength = in.ConsumeIntegral<std::int32_t>();
    rules.minPopupLength = in.ConsumeIntegral<std::int32_t>();
    const std::string text = in.ConsumeRemainingBytesAsString();

    const std::string dial = rules.buildDialString(text);
    checkDialable(rules, dial, false);
    const std::string marked = pellandor::DialingRules::applyDialMarks(dial, rules.equalDigits);
    checkDialable(rules, marked, false);
    checkDialable(rules, pellandor::DialingRules::applyDialMarks(text, rules.equalDigits), true);
    (void)pellandor::trimBlanks(text);
    (void)pellandor::extractDialCharacters(text);

    std::u16string wide(text.begin(), text.end());
    rules.stripToPopupCharacters(wide);
    return 0;
}
