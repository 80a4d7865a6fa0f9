#pragma once
// The pixels of a window as the screen shows them (children, and a menu's
// list lying over it, included) and their PNG file: what a screenshot of a
// plug-in's editor is made of.

#include <cstdint>
#include <string>
#include <vector>

typedef struct _XDisplay Display;

struct WindowImage
{
    int width = 0;
    int height = 0;
    // 0xRRGGBB per pixel, row by row.
    std::vector<std::uint32_t> pixels;

    std::uint32_t at(int x, int y) const
    {
        return x < 0 || y < 0 || x >= width || y >= height ? 0u : pixels[static_cast<std::size_t>(y) * width + x];
    }
    // Pixels in the rectangle [x0, x1) x [y0, y1) that have that colour.
    int count(int x0, int y0, int x1, int y1, std::uint32_t rgb) const;
};

// False with a message when the window cannot be read (gone, unmapped,
// a visual that is not 24-bit true colour).
bool CaptureWindow(Display* display, unsigned long window, WindowImage& image, std::string& error);
bool WritePng(const WindowImage& image, const std::string& path, std::string& error);
