// Dialog templates: an XML element tree built into a wxDialog.
//
//   <Dialog title="..." width="W" height="H">
//     <Control type="radio" id="1010" text="..." rect="L T R B" group="1"/>
//   </Dialog>
//
// Control types: static, groupbox, edit, ipaddress (an edit field with the
// dotted address), button, default (the default push button), radio, check,
// combo (drop-down with an edit field), list, trackbar (vertical),
// scrollbar. Each radio group ends in a hidden button of its own that is on
// when no visible button of the group is. The rectangle is in client pixels; an id
// of -1 names no control. group="1" marks the first control of a group.
#pragma once

#include <set>

class wxDialog;
class wxWindow;
namespace kvXML {
class CXMLElement;
}

// The name of a radio group's hidden button.
inline constexpr const char* kNoButtonOnName = "noButtonOn";
bool IsNoButtonOn(const wxWindow* control);

// Null when the tree is not a dialog template or names an unknown type.
// `groupStarts` receives the controls that start a group.
wxDialog* BuildDialogFromTemplate(const kvXML::CXMLElement& root, wxWindow* parent,
                                  std::set<const wxWindow*>& groupStarts);
