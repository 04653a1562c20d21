#pragma once
// The updater's words, from the string tables.
#include "platform/strings/LocalizedStrings.h"
#include "platform/text/QtString.h"

namespace velkin::UpdateText {

inline QString text(const char16_t* key, std::initializer_list<LocalizedStrings::Argument> arguments = {})
{
    return toQString(LocalizedStrings::format(LocalizedStrings::text(key), arguments));
}

} // namespace velkin::UpdateText
