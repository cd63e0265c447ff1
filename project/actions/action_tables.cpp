#include "project/actions/action_tables.h"

namespace pw::project {

namespace {

constexpr const GUID* kGroup = &kNodeActionGroup;

constexpr TActionDescription kNodeActions[] = {
    {MakeGuid("{1F19D2CA-4B01-420A-AD84-AB68DB2B4E58}"), 1, u"New &Item...", u"Adds a new child item.",
     u"Add Child Item", 9208, "ICON_NEW_ITEM", u"", u"File", 0, kGroup},
    {MakeGuid("{F5C48E5A-FB55-4B1D-B500-8C0086EC8083}"), 1, u"&Existing Item...", u"Adds an existing child item.",
     u"Add Existing Child Item", 9255, "ICON_EXISTING_ITEM", u"", u"File", 0, kGroup},
    {MakeGuid("{D75C1B39-5A94-45D9-ACB5-CC0D3069DD85}"), 1, u"&Save", u"Saves the selected project element.",
     u"Save the Selected Element", 9256, "ICON_PROJECTNODE_SAVE", u"", u"File", 0, kGroup},
    {MakeGuid("{C5387286-BE5E-4490-8201-5569B8EFB551}"), 1, u"Save Current As...",
     u"Saves the selected project element to a new location.", u"Save to a New Location", 9257, "", u"", u"File", 0,
     kGroup},
    {MakeGuid("{5BEACA2B-732A-4CB9-8EE4-5A73CD6DFD7E}"), 1, u"Pr&operties...",
     u"Opens the dialog used to configure project properties.", u"Project Properties", 9245, "", u"", u"", 0, kGroup},
    {MakeGuid("{A9BD4543-EDF2-4B95-951C-237F7A46A864}"), 1, u"Reload", u"Reloads data from the item's file or storage.",
     u"Reload", 9497, "", u"", u"", 0, kGroup},
};

constexpr TActionDescription kSccManagerActions[] = {
    {MakeGuid("{B291A57A-3351-450F-B9C8-20582C26234A}"), 1, u"Open From Source Control...",
     u"Gets the latest version of a project or project suite from source control and then opens it in Probewright.",
     u"Open From Source Control", 0, "OPEN_FROM_SCC", u"", u"Source Control", 0, nullptr},
    {MakeGuid("{04EF505C-1D42-447A-AF7B-2DA13219941B}"), 1, u"Add Project Suite",
     u"Adds the current project suite to source control.", u"Add Project Suite to Source Control", 9273,
     "ADD_PROJECT_SUITE_TO_SCC", u"", u"Source Control", 0, nullptr},
    {MakeGuid("{B1BB8C4C-198F-44F5-A568-A6E0CB3FB2EB}"), 1, u"Add Project",
     u"Adds the selected project to source control.", u"Add Project to Source Control", 9272, "ADD_PROJECT_TO_SCC", u"",
     u"Source Control", 0, nullptr},
};

constexpr const char16_t* kScc = u"Source Control";

constexpr TActionDescription kSccItemActions[] = {
    {MakeGuid("{E3ADE311-1BA9-4CF8-AABE-0EBE7702D5FD}"), 1, u"Add to &Source Control...",
     u"Adds an item to source control.", u"Add to source control", 9400, "ADDTOSCC", u"", kScc, 0, nullptr},
    {MakeGuid("{2291FDF1-5717-4549-8D94-7C16C48A75F1}"), 1, u"&Unbind from Source Control",
     u"Unbinds an item from source control.", u"Unbind item from source control", 9401, "UNBIND", u"", kScc, 0,
     nullptr},
    {MakeGuid("{B9D927C7-E2DD-42A1-8F29-C90A8B3CCB04}"), 1, u"&Get Latest Version",
     u"Gets the latest version of an item from source control.", u"Get the latest version from source control", 9402,
     "GETLATESTVERSION", u"", kScc, 0, nullptr},
    {MakeGuid("{F69E24CF-F250-46BE-A31E-5FDCE005A302}"), 1, u"Check &Out", u"Checks out an item from source control.",
     u"Check out from source control", 9403, "CHECKOUT", u"", kScc, 0, nullptr},
    {MakeGuid("{289DB03B-7BC1-4E1B-9761-56007778BA09}"), 1, u"Check &In", u"Checks in an item to source control.",
     u"Check in to source control", 9404, "CHECKIN", u"", kScc, 0, nullptr},
    {MakeGuid("{0D650C48-6D6A-4912-81DC-F8C76AAF8281}"), 1, u"&Undo Check Out",
     u"Undoes check out of an item from source control.", u"Undo check out from source control", 9405, "UNCHECKOUT",
     u"", kScc, 0, nullptr},
    {MakeGuid("{91B1802C-B341-4E93-96DA-02649BC85AF5}"), 1, u"&History...", u"Shows the item history.", u"Histroy",
     9406, "HISTORY", u"", kScc, 0, nullptr},
    {MakeGuid("{DB5E3517-18BE-48F0-B9F0-72D6E7EB101F}"), 1, u"&Compare Versions...", u"Compares versions of an item.",
     u"Compare versions", 9407, "COMPARE", u"", kScc, 0, nullptr},
    {MakeGuid("{65977AE2-FA10-477E-A701-8A6FD04DB477}"), 1, u"&Properties...",
     u"Displays item properties in source control.", u"Properties", 9408, "PROPERTIES", u"", kScc, 0, nullptr},
    {MakeGuid("{E2D90CF4-2F06-4F63-87C9-3448265265B5}"), 1, u"&Run Source Control",
     u"Runs source control applications.", u"Run Source Control", 9409, "SCCEXE", u"", kScc, 0, nullptr},
    {MakeGuid("{F366951E-9513-4556-9312-F6D5EC39DBED}"), 1, u"Refr&esh Status",
     u"Refreshes the item status in source control.", u"Refresh status", 9410, "SCCREFRESH", u"", kScc, 0, nullptr},
};

}  // namespace

std::span<const TActionDescription> NodeActions() { return kNodeActions; }
std::span<const TActionDescription> SourceControlManagerActions() { return kSccManagerActions; }
std::span<const TActionDescription> SourceControlItemActions() { return kSccItemActions; }

}  // namespace pw::project
