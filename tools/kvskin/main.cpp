// kvskin: draws the demo instrument's skin images with the editor's own
// drawing code, so the images are ours and can be made again:
//   kvskin OUTPUT_FOLDER
// writes default__background.png (the panel) and default__knob.png (a strip
// of knob frames, 48 x 48 each).

#include <cmath>
#include <cstdio>
#include <string>

#include "editor/toolkit/CFontDesc.h"
#include "editor/toolkit/CGraphicsPath.h"
#include "editor/toolkit/COffscreenContext.h"

using namespace VSTGUI;

namespace
{
constexpr int kKnob = 48;
constexpr int kKnobFrames = 61;
constexpr double kPi = 3.14159265358979;

void Polygon(CDrawContext& context, double cx, double cy, double radius, CDrawContext::PathDrawMode mode)
{
    CGraphicsPath* path = context.createGraphicsPath();
    for (int i = 0; i <= 64; ++i)
    {
        const double a = 2 * kPi * i / 64;
        const CPoint p(cx + radius * std::cos(a), cy + radius * std::sin(a));
        if (i == 0)
            path->beginSubpath(p);
        else
            path->addLine(p);
    }
    path->closeSubpath();
    context.drawGraphicsPath(path, mode);
    path->forget();
}

bool Background(const std::string& file)
{
    auto context = COffscreenContext::create(480, 150);
    for (int y = 0; y < 150; ++y)
    {
        const auto shade = static_cast<uint8_t>(58 - y / 7);
        context->setFillColor(CColor(shade, static_cast<uint8_t>(shade + 4), static_cast<uint8_t>(shade + 12)));
        context->drawRect(CRect(0, y, 480, y + 1), kDrawFilled);
    }
    context->setFillColor(CColor(26, 28, 34));
    context->drawRect(CRect(0, 0, 480, 34), kDrawFilled);
    context->setFrameColor(CColor(240, 160, 60));
    context->setLineWidth(2);
    context->drawLine(CPoint(0, 34), CPoint(480, 34));
    CFontDesc title("DejaVu Sans", 18, kBoldFace);
    context->setFont(&title);
    context->setFontColor(CColor(235, 235, 240));
    context->drawString("Korvane Demo Synth", CRect(14, 4, 300, 30), kLeftText);
    return context->writePNG(file);
}

bool Knob(const std::string& file)
{
    auto context = COffscreenContext::create(kKnob, kKnob * kKnobFrames);
    context->clear(CColor(0, 0, 0, 0));
    const double c = kKnob / 2.0;
    for (int frame = 0; frame < kKnobFrames; ++frame)
    {
        const double top = frame * kKnob;
        const double value = frame / double(kKnobFrames - 1);
        context->setFillColor(CColor(30, 32, 38));
        Polygon(*context, c, top + c, 21, CDrawContext::kPathFilled);
        context->setFillColor(CColor(80, 86, 98));
        Polygon(*context, c, top + c, 16, CDrawContext::kPathFilled);
        // The arc of the value, from 7 o'clock round to 5 o'clock.
        const double start = 0.75 * kPi;
        context->setFrameColor(CColor(240, 160, 60));
        context->setLineWidth(3);
        const int steps = static_cast<int>(value * 48);
        for (int s = 0; s < steps; ++s)
        {
            const double a0 = start + 1.5 * kPi * s / 48.0;
            const double a1 = start + 1.5 * kPi * (s + 1) / 48.0;
            context->drawLine(CPoint(c + 19 * std::cos(a0), top + c + 19 * std::sin(a0)),
                              CPoint(c + 19 * std::cos(a1), top + c + 19 * std::sin(a1)));
        }
        const double angle = start + 1.5 * kPi * value;
        context->setFrameColor(CColor(250, 250, 250));
        context->setLineWidth(2);
        context->drawLine(CPoint(c + 4 * std::cos(angle), top + c + 4 * std::sin(angle)),
                          CPoint(c + 15 * std::cos(angle), top + c + 15 * std::sin(angle)));
    }
    return context->writePNG(file);
}
} // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: kvskin OUTPUT_FOLDER\n");
        return 2;
    }
    const std::string folder = std::string(argv[1]) + "/";
    const bool ok = Background(folder + "default__background.png") && Knob(folder + "default__knob.png");
    if (!ok)
        std::fprintf(stderr, "kvskin: could not write the images to %s\n", argv[1]);
    return ok ? 0 : 1;
}
