#pragma once
// A bitmap of a skin or made empty by size, drawn by copying a part of its
// pixels into a rectangle. A bitmap whose image could not be read has no
// platform bitmap and draws nothing. UI thread only.

#include "editor/toolkit/CBaseObject.h"
#include "editor/toolkit/CRect.h"
#include "editor/toolkit/CResourceDescription.h"

namespace VSTGUI {

class CBitmap : public CBaseObject
{
public:
    // The bundle resource of that name.
    explicit CBitmap(const CResourceDescription& description);
    // An empty, transparent bitmap; sizes are capped.
    CBitmap(CCoord width, CCoord height);
    // Keeps its own reference on the platform bitmap.
    explicit CBitmap(IPlatformBitmap* platformBitmap);
    ~CBitmap() override;

    CCoord getWidth() const;
    CCoord getHeight() const;
    CPoint getSize() const { return CPoint(getWidth(), getHeight()); }
    IPlatformBitmap* getPlatformBitmap() const { return platformBitmap_; }
    void setPlatformBitmap(IPlatformBitmap* bitmap);
    bool isLoaded() const { return platformBitmap_ != nullptr; }

    // The pixels from offset on, copied into rect (no scaling), faded by alpha.
    virtual void draw(CDrawContext* context, const CRect& rect, const CPoint& offset = CPoint(), float alpha = 1.f);

private:
    IPlatformBitmap* platformBitmap_ = nullptr;
};

} // namespace VSTGUI
