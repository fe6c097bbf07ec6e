#include "ui/XMLPathRef.h"

namespace kvXML {

void ReadFromXML_KTPathRef(const CXMLElement* element, kvFM::KCStPath& path) {
    if (element == nullptr || element->text.empty())
        return;
    KTPathType* parsed = nullptr;
    if (kvFM::CreatePathRefFromString(element->text.c_str(), parsed) != eNoErr ||
        !kvFM::IsValid(parsed)) {
        kvFM::DisposePathRef(parsed);
        return;
    }
    if (path.GetPathRef() == nullptr || !kvFM::IsSamePath(parsed, path.GetPathRef())) {
        path.Clear();
        KTPathType* copy = nullptr;
        const KTErr status = kvFM::CreatePathRef(parsed, "", copy);
        path.TakeOver(copy);
        path.SetError(status);
    }
    kvFM::DisposePathRef(parsed);
}

CXMLElement* WriteToXML_KTPathRef(const kvFM::KCStPath& path, CXMLElement* element) {
    element->text = path.GetPathString();
    return element;
}

} // namespace kvXML
