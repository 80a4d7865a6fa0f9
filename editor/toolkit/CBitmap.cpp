#include "editor/toolkit/CBitmap.h"

#include "editor/toolkit/CDrawContext.h"
#include "editor/toolkit/IPlatformBitmap.h"

namespace VSTGUI {

CBitmap::CBitmap(const CResourceDescription& description)
{
    IPlatformBitmap* bitmap = IPlatformBitmap::create();
    if (bitmap && bitmap->load(description))
        platformBitmap_ = bitmap;
    else if (bitmap)
        bitmap->forget();
}

CBitmap::CBitmap(CCoord width, CCoord height)
{
    CPoint size(width, height);
    platformBitmap_ = IPlatformBitmap::create(&size);
}

CBitmap::CBitmap(IPlatformBitmap* platformBitmap)
{
    setPlatformBitmap(platformBitmap);
}

CBitmap::~CBitmap()
{
    if (platformBitmap_)
        platformBitmap_->forget();
}

void CBitmap::setPlatformBitmap(IPlatformBitmap* bitmap)
{
    if (bitmap)
        bitmap->remember();
    if (platformBitmap_)
        platformBitmap_->forget();
    platformBitmap_ = bitmap;
}

CCoord CBitmap::getWidth() const
{
    return platformBitmap_ ? platformBitmap_->getSize().x : 0;
}

CCoord CBitmap::getHeight() const
{
    return platformBitmap_ ? platformBitmap_->getSize().y : 0;
}

void CBitmap::draw(CDrawContext* context, const CRect& rect, const CPoint& offset, float alpha)
{
    if (context && platformBitmap_)
        context->drawBitmap(this, rect, offset, alpha);
}

} // namespace VSTGUI
