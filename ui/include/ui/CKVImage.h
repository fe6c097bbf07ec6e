// Images described in XML: a PNG resource number, where the image goes, and
// once loaded the graphic manager's handle. Reading a description needs no
// window; the image is loaded through a CGraphicManagerAbs on first use.
#pragma once

#include <cstdint>
#include <vector>

#include "foundation/KURect.h"
#include "foundation/XMLElement.h"

class CGraphicManagerAbs;

class CKVImage : public kvXML::CXMLable {
public:
    CKVImage() = default;
    CKVImage(const CKVImage&) = default;
    CKVImage& operator=(const CKVImage&) = default;
    ~CKVImage() override = default;

    bool IsValid() const { return resID != -1; }
    bool IsTextureLoaded() const { return imageRef != nullptr; }
    void SetResID(short id) { resID = id; }
    short GetResID() const { return resID; }
    KURect<short> GetBoundRect() const { return boundRect; }
    KCPoint<short> GetPosition() const { return position; }
    void* GetImageRef() const { return imageRef; }
    void SetImageRef(void* ref) { imageRef = ref; }
    void UpdateBoundRect(const KURect<short>& rect);
    void UpdatePosition(const KCPoint<short>& point);

    void ReadFromXML(const kvXML::CXMLElement* element) override;
    kvXML::CXMLElement* WriteToXML(kvXML::CXMLElement* element) const override;

    void FinishCreate(CGraphicManagerAbs& manager);
    bool CheckValidOrLoad(CGraphicManagerAbs& manager);
    void DrawImage(CGraphicManagerAbs& manager);
    void DrawImage(CGraphicManagerAbs& manager, const KCPoint<short>& where);
    void DrawImageScaled(CGraphicManagerAbs& manager, const KURect<short>& destination);
    void DrawImageClipped(CGraphicManagerAbs& manager, const KCPoint<short>& where,
                          const KURect<short>& part);
    KCPoint<short> GetImageSize(CGraphicManagerAbs& manager);
    short GetWidth(CGraphicManagerAbs& manager);
    short GetHeight(CGraphicManagerAbs& manager);

private:
    int16_t resID = -1;
    KURect<short> boundRect;
    KCPoint<short> position;
    void* imageRef = nullptr;
};

class CKVImageContainer {
public:
    CKVImageContainer() = default;
    CKVImageContainer(const CKVImageContainer&) = default;
    CKVImageContainer& operator=(const CKVImageContainer&) = default;
    ~CKVImageContainer() = default;

    std::vector<CKVImage>* GetImageVec() { return &images; }
    const std::vector<CKVImage>* GetImageVec() const { return &images; }
    int32_t GetImageVecSize() const { return static_cast<int32_t>(images.size()); }
    // Appends one image (the manager may be null); returns 0.
    long LoadBitmap(unsigned long number, CGraphicManagerAbs* manager);
    long LoadBitmapSequence(unsigned long first, unsigned long count, CGraphicManagerAbs& manager);

private:
    std::vector<CKVImage> images;
};
