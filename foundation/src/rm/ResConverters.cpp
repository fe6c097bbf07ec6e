#include "foundation/ResConverters.h"

#include "foundation/XMLElement.h"
#include "foundation/XMLText.h"

#include <cstring>
#include <new>
#include <string>

using kvXML::CXMLElement;
using kvXML::CXMLTreeBuilder;

long DefaultResLoadConvert(void* in, unsigned long inSize, void*& out, unsigned long& outSize,
                           void*) {
    out = in;
    outSize = inSize;
    return eNoErr;
}

long DefaultResSaveConvert(void* in, unsigned long inSize, void*& out, unsigned long& outSize,
                           void*) {
    out = in;
    outSize = inSize;
    return eNoErr;
}

long DefaultResRelease(void* data, void*) {
    KCMemUtils::DisposeKTPtr(data);
    return eNoErr;
}

const KSResConvertFuncs kDefaultResConvertFuncs = {DefaultResLoadConvert, DefaultResSaveConvert,
                                                   DefaultResRelease, nullptr,
                                                   KCFourCC(KV_FOURCC("dflt"))};

long XMLResToXMLElementConvert(void* in, unsigned long inSize, void*& out, unsigned long& outSize,
                               void*) {
    out = nullptr;
    outSize = 0;
    auto* root = new (std::nothrow) CXMLElement();
    if (root == nullptr)
        return eMemNewFailed;
    KTErr err = eNoErr;
    {
        CXMLTreeBuilder builder(*root);
        err = builder.BuildFromSingleBuffer(in, inSize);
    }
    if (err != eNoErr) {
        delete root;
        return err == eMemNullPointer ? eMemNullPointer : eXMLParserFailed;
    }
    out = root;
    outSize = 1;
    return eNoErr;
}

long XMLElementToXMLResConvert(void* in, unsigned long, void*& out, unsigned long& outSize, void*) {
    out = nullptr;
    outSize = 0;
    if (in == nullptr)
        return eMemNullPointer;
    auto* root = static_cast<CXMLElement*>(in);
    std::string text;
    if (KTErr err = WriteElementText(*root, text))
        return err;
    void* block = KCMemUtils::NewKTPtr(static_cast<unsigned long>(text.size()));
    if (block == nullptr && !text.empty())
        return eMemNewFailed;
    if (!text.empty())
        std::memcpy(block, text.data(), text.size());
    out = block;
    outSize = static_cast<unsigned long>(text.size());
    return eNoErr;
}

long XMLElementRelease(void* data, void*) {
    delete static_cast<CXMLElement*>(data);
    return eNoErr;
}

const KSResConvertFuncs kXMLResConvertFuncs = {XMLResToXMLElementConvert, XMLElementToXMLResConvert,
                                               XMLElementRelease, nullptr,
                                               KCFourCC(KV_FOURCC("XMLR"))};

long GetXMLResource(KTResContainerType* const container, KCFourCC type, short id,
                    CXMLElement*& root, KTResourceType*& resource) {
    root = nullptr;
    resource = nullptr;
    if (KTErr err = RMGetAResource(container, type, id, resource, &kXMLResConvertFuncs))
        return err;
    void* data = nullptr;
    const KTErr err = RMGetResData(resource, data);
    root = static_cast<CXMLElement*>(data);
    return err;
}

long AddXMLResource(KTResContainerType* const container, KCFourCC type, short id, CXMLElement* root,
                    KTResourceType*& resource) {
    return RMAddResource(container, type, id, root, 1, resource, &kXMLResConvertFuncs);
}
