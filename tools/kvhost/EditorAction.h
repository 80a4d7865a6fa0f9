#pragma once
// One step of a scripted session with a plug-in's editor: input sent through
// the X server, a pause, or a screenshot.

#include <string>
#include <vector>

struct EditorAction
{
    enum class Kind
    {
        Click,      // x, y, button
        Drag,       // x0, y0, x1, y1
        Key,        // text: an X keysym name
        Type,       // text: UTF-8
        Wait,       // seconds
        Screenshot, // text: a PNG file
    };
    Kind kind = Kind::Wait;
    std::vector<int> numbers;
    double seconds = 0.0;
    std::string text;

    static EditorAction click(int x, int y, int button = 1) { return {Kind::Click, {x, y, button}, 0.0, {}}; }
    static EditorAction drag(int x0, int y0, int x1, int y1) { return {Kind::Drag, {x0, y0, x1, y1}, 0.0, {}}; }
    static EditorAction key(const std::string& name) { return {Kind::Key, {}, 0.0, name}; }
    static EditorAction type(const std::string& utf8) { return {Kind::Type, {}, 0.0, utf8}; }
    static EditorAction wait(double seconds) { return {Kind::Wait, {}, seconds, {}}; }
    static EditorAction screenshot(const std::string& png) { return {Kind::Screenshot, {}, 0.0, png}; }
};
