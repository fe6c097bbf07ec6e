// File-manager paths as the text of XML elements. These helpers need no
// window system: plug-in hosting links them without the rest of the UI.
#pragma once

#include "foundation/KCStPath.h"
#include "foundation/XMLElement.h"

namespace kvXML {

// Replaces `path` by the element's text when that text is a valid path that
// differs from the current one. An empty text or one the file manager does
// not accept leaves the path and its status as they were.
void ReadFromXML_KTPathRef(const CXMLElement* element, kvFM::KCStPath& path);

// The element's text becomes the path's '/'-separated text; returns the
// element.
CXMLElement* WriteToXML_KTPathRef(const kvFM::KCStPath& path, CXMLElement* element);

} // namespace kvXML
