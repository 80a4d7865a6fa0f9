#pragma once
// Reference-counted base of views, bitmaps, fonts, paths and selectors. The
// count starts at 1; forget() at zero deletes the object. UI thread only.

#include "editor/toolkit/VSTGUIFwd.h"

namespace VSTGUI {

class CBaseObject
{
public:
    CBaseObject() = default;
    CBaseObject(const CBaseObject&) : refCount_(1) {}
    CBaseObject& operator=(const CBaseObject&) { return *this; }
    virtual ~CBaseObject() = default;

    virtual void remember() { ++refCount_; }
    virtual void forget()
    {
        if (--refCount_ <= 0)
            delete this;
    }
    virtual int32_t getNbReference() const { return refCount_; }

    // A message from another object (a file selector that ended, ...).
    virtual CMessageResult notify(CBaseObject* sender, IdStringPtr message) { return kMessageUnknown; }

private:
    int32_t refCount_ = 1;
};

} // namespace VSTGUI
