// The texts of the naming rules that new and renamed project elements must
// pass, shared by the node's own name check and the creation parameters of new
// items.
#pragma once

#include "platform/com/types.h"

namespace pw::project {

inline constexpr WideStringView kEmptyNameMessage = u"A name cannot be an empty string.";
inline constexpr WideStringView kNameTooLongMessage = u"The element name is too long.";
inline constexpr WideStringView kNameCannotChangeMessage = u"The name of the '%s' node cannot be changed.";
// The longest name, and the longest file name of a new item, in UTF-16 units.
inline constexpr std::size_t kMaxNameLength = 260;

// "The '<name>' name is not valid for <type>." and the file-name rule's two
// lines.
WideString FileNameRuleMessage(WideStringView name, WideStringView typeCaption);
// The identifier rule's two lines; LetterFirst for the language whose names
// begin with a letter.
WideString IdentifierRuleMessage(WideStringView name, WideStringView typeCaption, bool letterFirst);
// The rule's message, an empty line and the offer of the correction.
WideString CorrectionQuestion(WideStringView message, WideStringView correction);

}  // namespace pw::project
