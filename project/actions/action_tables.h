// Host actions as constant descriptions: the project-node commands, the source-control manager's
// commands and the source-control commands of project items. One record type serves all three
// tables; its memory layout is incidental, its texts are byte-exact.
#pragma once

#include <span>
#include <string>

#include "platform/com/guid.h"
#include "platform/com/types.h"

namespace pw::project {

struct TActionDescription {
  GUID Key;
  std::int32_t Kind;  // 1 for every action here; 0 gets no bitmap
  const char16_t* Caption;
  const char16_t* Hint;
  const char16_t* Title;
  std::int32_t Command;
  const char* BitmapName;  // a bitmap resource of the module; "" for none
  const char16_t* ShortCutText;
  const char16_t* Category;
  std::uint8_t Flag;  // passed to the host as a WordBool
  const GUID* Group;  // nil: GUID_NULL
};

// The group of the project-node actions.
inline constexpr GUID kNodeActionGroup = MakeGuid("{F7E470D5-B092-43F2-A90D-405721036CB1}");

// Project-node actions: New Item, Existing Item, Save, Save Current As, Properties, Reload.
std::span<const TActionDescription> NodeActions();
// Source-control manager actions: Open From Source Control, Add Project Suite, Add Project.
std::span<const TActionDescription> SourceControlManagerActions();
// Source-control item actions (11, from Add to Source Control to Refresh Status).
std::span<const TActionDescription> SourceControlItemActions();

// The source-control submenu's own key and its parent menu.
inline constexpr GUID kSourceControlMenuKey = MakeGuid("{3BF7FB84-60D6-4B46-A08A-21D90330D6EC}");
inline constexpr GUID kSourceControlParentMenuKey = MakeGuid("{6C0D8291-3968-4FD5-AA02-C7E1BC02AB8E}");

}  // namespace pw::project
