// The engine's remote objects as IDispatch objects of the host: documents, elements,
// collections and any other object of a page.
//
// Names get DISPIDs from one table per browser (DomNames): a name is checked once per class of
// object (exactly, then ignoring case), and what it resolved to is cached. Invoke is one call
// of a fixed helper in the page (get, put or call of the member); the result becomes a VARIANT:
// undefined Empty, null Null, strings, numbers (a whole number in 32 bits VT_I4, else VT_R8) and
// Booleans as themselves, every object a new dispatch object. Collections answer `length` and
// `item` (also as the default member with an index). The page-side members that the web code
// calls by DISPID are answered here: XPath evaluation and CSS queries (arrays of results become
// arrays of variants, read in a constant number of round trips) and the element identifier.
//
// A script exception answers DISP_E_EXCEPTION with the script's text; an object of a document
// the page has left answers DISP_E_EXCEPTION with "The object no longer exists", without a call.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "host/browser/browser.h"
#include "platform/automation/dispatch.h"
#include "platform/com/comptr.h"

namespace pw::host {

// DISPIDs of the page-side members.
inline constexpr DISPID kDispEvaluateXPath = 0x10F25;         // (expression, search in frames) -> Variant
inline constexpr DISPID kDispQueryCss = 0x10F28;              // (selector, single) -> Variant
inline constexpr DISPID kDispElementId = 0x01000005;          // -> BSTR
// -> IDispatch: the element's test object (element_nodes.h), its node and those above it read as
// needed; an element outside the main document's body fails with "The element has no test object".
inline constexpr DISPID kDispElementTestObject = 0x01000002;
inline constexpr DISPID kFirstNameDispId = 1000;

// The list members of elements that show items: a <select> (its options) and an ARIA tab list
// (role "tablist": its elements of role "tab"). Answered for every element; an element that shows
// no items fails them with "The object has no items". "Enabled" answers for any element (not
// disabled, not inside a disabled fieldset). Names are matched exactly.
//   LineCount -> I4; LineText(index) -> BSTR; LineSelected -> I4 (-1 none); LinesSelected -> array
//   of I4; LineDisabled(index) -> BOOL; IsMultiSelect -> BOOL; Enabled -> BOOL.
// Item texts are read in one call for all items and kept with the list's change count (a
// page-side observer counts changes of the list); every other list read answers the current
// count too, so a text is answered from what was kept only while no change was seen since it
// was read, and never later than kListTextLifetime after the last read that confirmed it.
inline constexpr DISPID kDispLineCount = 0x01000010;
inline constexpr DISPID kDispLineText = 0x01000011;
inline constexpr DISPID kDispLineSelected = 0x01000012;
inline constexpr DISPID kDispLinesSelected = 0x01000013;
inline constexpr DISPID kDispLineDisabled = 0x01000014;
inline constexpr DISPID kDispIsMultiSelect = 0x01000015;
inline constexpr DISPID kDispEnabled = 0x01000016;
inline constexpr std::chrono::milliseconds kListTextLifetime{1000};
// GetLineRect(Index, Activate, out Window, out Left, out Top, out Right, out Bottom) -> BOOL: the
// item's rectangle in the client area of its page's window (viewport pixels) and that window;
// with Activate the item is scrolled into view first. False for an index out of range or an item
// that is not shown. The items of a one-line (drop-down) select are shown by its list window
// (TBrowsers::DropDown): with Activate the window opens, and the rectangle is the item's row in
// it; without, a closed list gives False.
inline constexpr DISPID kDispGetLineRect = 0x9001;

// What a drop-down select's list window shows: its items in rows of the select's height and width.
struct DropDownList {
  std::string selectId;  // the select's element identifier (kDispElementId)
  std::int32_t count = 0;
  std::int32_t itemHeight = 1;
  std::int32_t width = 1;
};

// The names of one browser and their DISPIDs; thread-safe.
class DomNames {
 public:
  DISPID IdOf(const std::string& name);
  std::optional<std::string> NameOf(DISPID id) const;
  // The resolved member name of `name` on objects of `className`: nullopt when not checked yet;
  // an empty string when the class has no such member.
  std::optional<std::string> Resolved(const std::string& className, const std::string& name) const;
  void SetResolved(const std::string& className, const std::string& name, const std::string& resolved);
  // The window handle of a page's browser (0 when none); the host's browsers set the resolver.
  void SetWindowOf(std::function<std::int32_t(const browser::Page*)> resolver);
  std::int32_t WindowOf(const browser::Page* page) const;
  // The test object of an element of a page, given the identifiers of its ancestors below the
  // body and its own (the last); the host's browsers set the resolver. Nil when there is none.
  void SetTestObjectOf(
      std::function<ComPtr<IDispatch>(const browser::Page*, const std::vector<std::string>&)> resolver);
  ComPtr<IDispatch> TestObjectOf(const browser::Page* page, const std::vector<std::string>& chain) const;
  // The list window of a drop-down select of a page (opened when `open`); 0 when it is not open.
  void SetDropDown(std::function<std::int32_t(const browser::Page*, const DropDownList&, bool open)> resolver);
  std::int32_t DropDown(const browser::Page* page, const DropDownList& list, bool open) const;

 private:
  mutable std::mutex mutex_;
  std::map<std::string, DISPID> ids_;
  std::vector<std::string> names_;
  std::map<std::pair<std::string, std::string>, std::string> resolved_;
  std::function<std::int32_t(const browser::Page*)> windowOf_;
  std::function<ComPtr<IDispatch>(const browser::Page*, const std::vector<std::string>&)> testObjectOf_;
  std::function<std::int32_t(const browser::Page*, const DropDownList&, bool)> dropDown_;
};

// A dispatch object for a remote value of a page (which must be an object).
ComPtr<IDispatch> MakeDomObject(std::shared_ptr<browser::Page> page, std::shared_ptr<DomNames> names,
                                const browser::RemoteValue& value);
// An element of the page's document `document` known by its identifier (kDispElementId): looked
// up at its first use; "The object no longer exists" once the element or the document is gone.
ComPtr<IDispatch> MakeElementObject(std::shared_ptr<browser::Page> page, std::shared_ptr<DomNames> names,
                                    const std::string& elementId, std::uint64_t document);
// The page's current document.
ComPtr<IDispatch> DocumentObject(std::shared_ptr<browser::Page> page, std::shared_ptr<DomNames> names);
// A remote value as a VARIANT (objects as new dispatch objects).
OleVariant ToVariant(const std::shared_ptr<browser::Page>& page, const std::shared_ptr<DomNames>& names,
                     const browser::RemoteValue& value);
// The remote object behind a dispatch object of this layer, or empty.
std::string RemoteObjectId(IDispatch* object);

}  // namespace pw::host
