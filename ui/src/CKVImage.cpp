// XML images loaded through a graphic manager.
#include "ui/CKVImage.h"

#include <cstring>

#include "foundation/XMLTyped.h"
#include "ui/CGraphicManagerAbs.h"
#include "ui/KCImage.h"

using kvXML::CXMLElement;

void CKVImage::UpdateBoundRect(const KURect<short>& rect) {
    boundRect = rect;
    position = rect.TopLeft();
}

void CKVImage::UpdatePosition(const KCPoint<short>& point) {
    position = point;
    const short w = boundRect.Width(), h = boundRect.Height();
    boundRect.SetTopLeftWidthHeight(point.y, point.x, w, h);
}

void CKVImage::ReadFromXML(const CXMLElement* element) {
    if (element == nullptr)
        return;
    long id = 0;
    if (element->GetAttrib("ResID", id))
        resID = static_cast<int16_t>(id);
    for (const CXMLElement* child : element->children) {
        const char* name = child->name.c_str();
        if (std::strcmp(name, "ResID") == 0) {
            long value = 0;
            kvXML::ReadFromXML_Int(child, value);
            resID = static_cast<int16_t>(value);
        } else if (std::strcmp(name, "PositionRect") == 0) {
            KURect<short> rect;
            kvXML::ReadFromXML_KURect(child, rect);
            UpdateBoundRect(rect);
        } else if (std::strcmp(name, "Origin") == 0) {
            KCPoint<short> point;
            kvXML::ReadFromXML_KCPoint(child, point);
            UpdatePosition(point);
        }
    }
}

CXMLElement* CKVImage::WriteToXML(CXMLElement* element) const {
    if (element != nullptr && resID != -1)
        element->SetAttrib("ResID", std::to_string(resID));
    return element;
}

void CKVImage::FinishCreate(CGraphicManagerAbs& manager) {
    if (resID != -1)
        imageRef = manager.RegisterImageFromResID(resID, manager.GetResContainer());
}

bool CKVImage::CheckValidOrLoad(CGraphicManagerAbs& manager) {
    if (resID != -1 && imageRef == nullptr && manager.IsInitialized())
        FinishCreate(manager);
    return imageRef != nullptr;
}

void CKVImage::DrawImage(CGraphicManagerAbs& manager) {
    DrawImage(manager, position);
}

void CKVImage::DrawImage(CGraphicManagerAbs& manager, const KCPoint<short>& where) {
    if (CheckValidOrLoad(manager))
        manager.DrawImage(imageRef, where);
}

void CKVImage::DrawImageScaled(CGraphicManagerAbs& manager, const KURect<short>& destination) {
    if (!CheckValidOrLoad(manager))
        return;
    const KCPoint<short> size = static_cast<TexturedImage*>(imageRef)->GetImageSize();
    manager.DrawImageScaled(imageRef, destination, KURect<short>(0, 0, size.y, size.x));
}

void CKVImage::DrawImageClipped(CGraphicManagerAbs& manager, const KCPoint<short>& where,
                                const KURect<short>& part) {
    if (CheckValidOrLoad(manager))
        manager.DrawImage(imageRef, where, part);
}

KCPoint<short> CKVImage::GetImageSize(CGraphicManagerAbs& manager) {
    KCPoint<short> size;
    if (CheckValidOrLoad(manager))
        manager.GetImageSize(imageRef, size);
    return size;
}

short CKVImage::GetWidth(CGraphicManagerAbs& manager) {
    return GetImageSize(manager).x;
}

short CKVImage::GetHeight(CGraphicManagerAbs& manager) {
    return GetImageSize(manager).y;
}

long CKVImageContainer::LoadBitmap(unsigned long number, CGraphicManagerAbs* manager) {
    CKVImage image;
    image.SetResID(static_cast<short>(number));
    if (manager != nullptr && image.GetResID() != -1)
        image.SetImageRef(
            manager->RegisterImageFromResID(image.GetResID(), manager->GetResContainer()));
    images.push_back(image);
    return 0;
}

long CKVImageContainer::LoadBitmapSequence(unsigned long first, unsigned long count,
                                           CGraphicManagerAbs& manager) {
    for (unsigned long i = 0; i < count; ++i)
        LoadBitmap(first + i, &manager);
    return 0;
}
