#pragma once
// Source records of pin descriptions: a row of a compiled-in pin table and a
// pin read from module XML.

#include <cstdint>
#include <string>

// One pin of a compiled-in module of the older style (a static table row).
struct pin_description
{
    const wchar_t* name;
    int direction;
    int datatype;
    const wchar_t* default_value;
    const wchar_t* enum_list;
    int flags;
    const wchar_t* notes;
};

// One pin read from module XML.
struct pin_description2
{
    uint32_t flags = 0;
    int direction = 0;
    int datatype = 0;
    std::wstring name;
    std::wstring notes;
    std::wstring enum_list; // from "metadata"
    std::wstring default_value;
    std::wstring host_connect; // host-control name
};
