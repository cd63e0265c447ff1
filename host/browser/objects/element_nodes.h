// Test objects of a tested page's elements: nodes under the page's node, one per element, read
// on demand a level at a time.
//
// A page node's children are the elements directly below the document's body (scripts, styles
// and other elements that show nothing are left out); an element node's children are its own
// child elements. A level is read in one evaluation that answers, for every element of it, its
// identifier (the page-side name of kDispElementId), its type and what names it, so reading N
// elements of a level costs one round trip; the element's engine handle is asked for only when
// something calls it. A level is read at the first ask for the node's children; a Refresh reads
// the node's whole subtree in one evaluation and marks every level below read (so a search that
// refreshes the page node and walks its tree costs one round trip on an unchanged page). A read
// keeps the nodes of elements that are still there (in the page's order) and adds and removes the
// others. A new document of the page drops every element node.
//
// An element node is named TYPE(IDENTIFIER): the type from its tag ("Link", "Button", "Textbox",
// "PasswordBox", "Checkbox", "RadioButton", "Textarea", "Select", "Image", "Table", "Form",
// "Label", "List", "ListItem", "Heading", "Frame", anything else "Panel"); the identifier is the
// element's id, else its name attribute, else its index (0 first) among the earlier siblings of
// the same type. Its script members: "ObjectType" (the type), "ObjectIdentifier" (the
// identifier), "tagName", "idStr", and those of the element's text properties "id", "name",
// "className", "type", "title", "alt", "href", "src" that it has, as of the last read of its level;
// the live members "value" and "checked" (read from the element at each call, written to it by a
// property put) and "Enabled" (read only), which searches leave out (TSysNode::SetLiveMember);
// the actions "Click", "ClickR", "DblClick" (ClientX, ClientY,
// Shift; points relative to the element's top-left corner, -1 or missing: its centre; Shift the
// host's modifier word), "HoverMouse" (ClientX, ClientY) and "Keys" (a key string, keys.h, typed
// into the element after it takes the focus). The element is scrolled into view first; the
// actions go through the engine's input. The node's default native object is the element as a
// DOM object (dom_object.h), its pivot window the page's window. Its native object of the web
// element kind {85B7275D-...} is the element object (IpwTabContext: 7 the node's object context,
// kind {85B7275D-...} tag 0; 15 the control information, whose ControlType (DISPID 0xC001) is
// "input@TYPE" for inputs, "multiselect" for a select of several items, "select" for another,
// "flash@tablist" for an element of ARIA role "tablist", else the tag in lower case), so the web
// element builder attaches the element's control slice (the tab list's "ClickTab" among them).
//
// The page node and every element node answer IpwSysNodeElementSearch for tagName, idStr and the
// cached text properties (ignoring case): one evaluation walks the elements below in the nodes'
// order and answers the candidates (a looser test than the caller's: non-ASCII code units count as
// equal, a mask is tried as a whole regular expression), and only their chains; their nodes are
// found (levels read as needed, a level read again when an element is missing or renamed) and
// their cached properties brought up to date.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/browser/browser.h"
#include "host/browser/objects/dom_object.h"
#include "host/object_tree.h"

namespace pw::host {

// Makes the page node's children the elements of the page; `window` is the window that shows the
// page (the elements' pivot window).
void AttachElementNodes(TSysNode& pageNode, std::shared_ptr<browser::Page> page, std::shared_ptr<DomNames> names,
                        std::int32_t window);
// Drops the element nodes below a page node that belong to another document than `document`.
void DropElementNodes(TSysNode& pageNode, std::uint64_t document);
// The element identifier of an element node; empty for any other node.
std::string ElementIdOf(TSysNode& node);
// The node of an element below a page node, given the identifiers from the body's child down to
// the element: levels are read as needed (once more with a refresh when an element is not among
// them). Nil when there is none.
ComPtr<TSysNode> FindElementNode(TSysNode& pageNode, const std::vector<std::string>& chain);

}  // namespace pw::host
