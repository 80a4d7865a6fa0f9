#pragma once
// Empty root of the registry's record and description classes.

class CObject
{
public:
    virtual ~CObject() = default;
};
