#include "project/types/name_rules.h"

#include "platform/rtl/strings.h"

namespace pw::project {

WideString FileNameRuleMessage(WideStringView name, WideStringView typeCaption) {
  return WideFormat(u"The '%s' name is not valid for %s.", {name, typeCaption}) +
         u"\r\nThe name cannot start with a dot or a space or have any of the "
         u"following characters:\r\n"
         u"/ \\ : * ? \" < > |";
}

WideString IdentifierRuleMessage(WideStringView name, WideStringView typeCaption, bool letterFirst) {
  return WideFormat(u"The '%s' name is not valid for %s.", {name, typeCaption}) + u"\r\n" +
         (letterFirst ? u"A name must begin with a letter and cannot contain spaces. "
                        u"Letters, digits, and underscores "
                        u"are allowed after the first character."
                      : u"A name must begin with a letter or an underscore and cannot "
                        u"contain spaces. Letters, digits, "
                        u"and underscores are allowed after the first character.");
}

WideString CorrectionQuestion(WideStringView message, WideStringView correction) {
  return WideString(message) + u"\r\n\r\n" +
         WideFormat(u"The name was automatically corrected to '%s'.", {correction}) + u"\r\nDo you want to use it?";
}

}  // namespace pw::project
